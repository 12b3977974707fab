// Two users of one table: a cursor of another session in the same process,
// and a cursor in another process. With strict change detection a change
// through the other user is seen at this cursor's next operation, and the
// cursor keeps standing on its current record.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/storage/testing/cursor_fixture.h"

namespace kura {
namespace {

using sql::Value;
using testing::Condition;
using testing::FigureIndexes;
using testing::FigureShape;
using testing::ScratchDir;

constexpr int kChildSeconds = 20;

class Pipe {
 public:
  Pipe() { EXPECT_EQ(::pipe2(fd_, O_CLOEXEC), 0); }
  ~Pipe() {
    ::close(fd_[0]);
    ::close(fd_[1]);
  }
  void Send(char c) { EXPECT_EQ(::write(fd_[1], &c, 1), 1); }
  char Receive(int ms = kChildSeconds * 1000) {
    pollfd p{fd_[0], POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return 0;
    char c = 0;
    return ::read(fd_[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int fd_[2];
};

// A user of the table: its own session's directory and a cursor.
struct User {
  User(TFileList& files, bool strict) : session(files) {
    session.settings.strictChangeDetection = strict;
  }
  TDataSession session;
  std::unique_ptr<TDataDirectory> directory;
  std::unique_ptr<TDataCursor> cursor;
  void Open(const std::string& dir) {
    directory = std::make_unique<TDataDirectory>(session, dir);
    cursor = std::make_unique<TDataCursor>(session, *directory);
    cursor->Open("figure");
  }
};

void SetMnb(TDataCursor& c, std::uint32_t ordinal, std::int32_t mnb) {
  ASSERT_TRUE(c.MoveTo(ordinal));
  ASSERT_EQ(c.ReadCurrent(nullptr, true), 0);
  std::vector<std::uint8_t> image(c.Image(), c.Image() + c.RecordLength());
  c.SetField(image.data(), 2, Value::Integer(mnb));
  c.ModifyRecord(image.data());
}

void AddMnb(TDataCursor& c, std::int32_t mnb) {
  std::vector<std::uint8_t> image = c.NewRecord();
  c.SetField(image.data(), 2, Value::Integer(mnb));
  c.AddRecord(image.data(), false);
}

// What the other user does: record 2 passes the filter, record 1 goes, and
// a new passing record is appended (record 7).
void ChangeTable(TDataCursor& c) {
  SetMnb(c, 2, 5);
  ASSERT_TRUE(c.MoveTo(1));
  c.DeleteRecord();
  AddMnb(c, 5);
}

class SharingTest : public ::testing::TestWithParam<int> {
 protected:
  SharingTest() {
    TFileList files(Env::Default());
    User creator(files, false);
    creator.directory = std::make_unique<TDataDirectory>(creator.session, dir_.Path());
    TDataCursor c(creator.session, *creator.directory);
    c.Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
    for (int i = 1; i <= 6; ++i) AddMnb(c, i % 2 ? 5 : 6);  // 5 at 1, 3, 5
  }

  // This cursor, filtered on MNB = 5 in the test's order, on record 3.
  void Watch(TDataCursor& c, const Condition& cond) {
    c.SetOrder(GetParam());
    c.AddFilter(cond.Root());
    ASSERT_TRUE(c.MoveTo(2));
    ASSERT_EQ(c.CurrentRecordNumber(), 3);
  }
  void ExpectChangeSeen(TDataCursor& c) {
    EXPECT_EQ(c.RecordCount(), 4u);
    EXPECT_EQ(c.CurrentRecordNumber(), 3);
    EXPECT_EQ(c.CurrentOrdinal(), 2u);
    ASSERT_TRUE(c.Prior());
    EXPECT_EQ(c.CurrentRecordNumber(), 2);
    c.Last();
    ASSERT_TRUE(c.Prior());
    EXPECT_EQ(c.CurrentRecordNumber(), 7);
  }

  ScratchDir dir_;
};

TEST_P(SharingTest, AnotherSessionsChangeIsSeenAtTheNextMove) {
  TFileList files(Env::Default());
  User me(files, true), other(files, true);
  me.Open(dir_.Path());
  other.Open(dir_.Path());
  Condition cond(*me.cursor, "MNB = 5");
  Watch(*me.cursor, cond);
  ChangeTable(*other.cursor);
  ExpectChangeSeen(*me.cursor);
}

TEST_P(SharingTest, AnotherProcesssChangeIsSeenAtTheNextMove) {
  Pipe ready, changed;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(kChildSeconds);
    int code = 0;
    try {
      if (ready.Receive() != 'r') ::_exit(2);
      TFileList files(Env::Default());
      User other(files, true);
      other.Open(dir_.Path());
      ChangeTable(*other.cursor);
      other.cursor->Close();
      changed.Send('c');
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  TFileList files(Env::Default());
  User me(files, true);
  me.Open(dir_.Path());
  Condition cond(*me.cursor, "MNB = 5");
  Watch(*me.cursor, cond);
  ready.Send('r');
  ASSERT_EQ(changed.Receive(), 'c');
  ExpectChangeSeen(*me.cursor);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

INSTANTIATE_TEST_SUITE_P(Orders, SharingTest, ::testing::Values(kRecordOrder, 1));

}  // namespace
}  // namespace kura
