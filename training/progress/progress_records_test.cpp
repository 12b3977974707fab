// The records database: created on first use and read back, a directory
// that cannot be written, two processes recording at once, and a process
// killed while recording.
#include "training/progress/progress_records.h"

#include "training/progress/learner_progress.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

namespace sorabeku::progress {
namespace {

namespace fs = std::filesystem;

int EnvCount(const char* name, int fallback) {
  const char* s = std::getenv(name);
  return s != nullptr ? std::max(1, std::atoi(s)) : fallback;
}

AnswerRecord Sample(int mnb, int n = 0) {
  return {"/home/learner/kyozai", mnb, "00112233445566" + std::to_string(10 + n % 90),
          1'700'000'000 + n, n % 2 ? RecordKind::kFinished : RecordKind::kAnswer,
          n % 3 != 0, n % 5 != 0, 1234 + n, n % 2 == 0};
}

class RecordsTest : public ::testing::Test {
 protected:
  RecordsTest() {
    char pattern[] = "/tmp/progress_records_XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~RecordsTest() override { fs::remove_all(root_); }
  std::string Dir() const { return (root_ / "share" / "sorabeku" / "gakushu").string(); }
  fs::path root_;
};

TEST_F(RecordsTest, CreatedOnFirstUseAndReadBackAfterReopening) {
  {
    ProgressRecords records(Dir());
    ASSERT_TRUE(records.Recording()) << records.Error();
    EXPECT_FALSE(records.TakeErrorToShow());
    EXPECT_TRUE(records.ReadAll().empty());
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(records.Record(Sample(100 + n, n))) << records.Error();
  }
  ProgressRecords again(Dir());
  ASSERT_TRUE(again.Recording()) << again.Error();
  ASSERT_TRUE(again.Record(Sample(200, 7)));
  EXPECT_EQ(again.ReadAll(), (std::vector<AnswerRecord>{Sample(100, 0), Sample(101, 1),
                                                        Sample(102, 2), Sample(200, 7)}));
}

TEST_F(RecordsTest, LongLibraryPathKeepsItsEnd) {
  ProgressRecords records(Dir());
  AnswerRecord r = Sample(1);
  r.library = std::string(300, 'x') + "/tail";
  ASSERT_TRUE(records.Record(r));
  const std::string stored = records.ReadAll().at(0).library;
  EXPECT_EQ(stored.size(), 250u);
  EXPECT_EQ(stored.substr(245), "/tail");
}

TEST_F(RecordsTest, DirectoryThatCannotBeMadeGivesOneMessageAndNoRecording) {
  std::ofstream(root_ / "file") << "not a directory";
  ProgressRecords records((root_ / "file" / "gakushu").string());
  EXPECT_FALSE(records.Recording());
  EXPECT_EQ(records.Error().rfind(kCannotRecord, 0), 0u) << records.Error();
  EXPECT_EQ(records.TakeErrorToShow(), records.Error());
  EXPECT_FALSE(records.TakeErrorToShow());  // shown once
  EXPECT_FALSE(records.Record(Sample(1)));
  EXPECT_TRUE(records.ReadAll().empty());
}

TEST_F(RecordsTest, FailingWriteSwitchesRecordingOff) {
  ProgressRecords records(Dir());
  ASSERT_TRUE(records.Record(Sample(1)));
  // The table's files replaced by a directory the engine cannot write.
  for (const auto& e : fs::directory_iterator(Dir())) {
    fs::remove(e.path());
    fs::create_directory(e.path());
  }
  ProgressRecords broken(Dir());
  EXPECT_FALSE(broken.Recording());
  EXPECT_FALSE(broken.Record(Sample(2)));
  EXPECT_TRUE(broken.TakeErrorToShow().has_value());
}

// A program killed while appending leaves part of a record behind the
// table's header; the next program mends the table and keeps every record
// that was whole.
TEST_F(RecordsTest, TableLeftByAKilledAppendIsMendedWhenOpened) {
  {
    ProgressRecords records(Dir());
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(records.Record(Sample(100 + n, n)));
  }
  const fs::path data = fs::path(Dir()) / (std::string(kRecordsTable) + ".DAT");
  ASSERT_TRUE(fs::exists(data));
  std::ofstream(data, std::ios::binary | std::ios::app) << std::string(7, '\x01');
  ProgressRecords again(Dir());
  ASSERT_TRUE(again.Recording()) << again.Error();
  ASSERT_TRUE(again.Record(Sample(200, 7)));
  EXPECT_EQ(again.ReadAll(), (std::vector<AnswerRecord>{Sample(100, 0), Sample(101, 1),
                                                        Sample(102, 2), Sample(200, 7)}));
}

// One learner's two programs: what one records, the other sees after
// Reload; without a records directory the schedule still follows the run.
TEST_F(RecordsTest, LearnerProgressKeepsTheScheduleWithTheRecords) {
  AnswerRecord missed = Sample(7, 1);  // a finished problem, not solved
  missed.right = false;
  LearnerProgress one(Dir());
  LearnerProgress two(Dir());
  const int day = LocalDay(missed.when);
  ASSERT_TRUE(one.Record(missed));
  ASSERT_NE(one.NextDue(missed.library, day + 1), nullptr);
  EXPECT_EQ(one.NextDue(missed.library, day + 1)->mnb, 7);
  EXPECT_EQ(two.DueCount(missed.library, day + 1), 0);
  two.Reload();
  EXPECT_EQ(two.DueCount(missed.library, day + 1), 1);
  EXPECT_EQ(two.Figures(missed.library, day + 1).sections[1].due, 1);

  std::ofstream(root_ / "file") << "not a directory";
  LearnerProgress unrecorded((root_ / "file" / "gakushu").string());
  EXPECT_FALSE(unrecorded.Record(missed));
  unrecorded.Reload();
  EXPECT_EQ(unrecorded.DueCount(missed.library, day + 1), 1);
}

TEST(RecordsDirectory, FollowsXdgDataHome) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old != nullptr ? old : "";
  setenv("XDG_DATA_HOME", "/data/me", 1);
  EXPECT_EQ(DefaultRecordsDirectory(), "/data/me/sorabeku/gakushu");
  setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  setenv("HOME", getenv("HOME") != nullptr ? getenv("HOME") : "/root", 1);
  EXPECT_EQ(DefaultRecordsDirectory(),
            std::string(getenv("HOME")) + "/.local/share/sorabeku/gakushu");
  if (old != nullptr) setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else unsetenv("XDG_DATA_HOME");
}

// Both processes open the records after the fork and append at once.
TEST_F(RecordsTest, TwoProcessesBothRecordEverything) {
  const int n = EnvCount("PROGRESS_FORK_RECORDS", 60);
  { ProgressRecords created(Dir()); }  // created before, as by an earlier run
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  const int base = pid == 0 ? 10000 : 20000;
  int written = 0;
  {
    ProgressRecords records(Dir());
    for (int i = 0; i < n; ++i) written += records.Record(Sample(base + i, i)) ? 1 : 0;
  }
  if (pid == 0) _exit(written == n ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(written, n);
  ProgressRecords records(Dir());
  std::set<int> numbers;
  for (const AnswerRecord& r : records.ReadAll()) numbers.insert(r.mnb);
  EXPECT_EQ(numbers.size(), static_cast<std::size_t>(2 * n));
  EXPECT_EQ(*numbers.begin(), 10000);
  EXPECT_EQ(*numbers.rbegin(), 20000 + n - 1);
}

// A child records without end and reports each record that returned; it
// is killed at a varying moment. Every reported record is there, intact,
// and at most one more (the one in flight).
TEST_F(RecordsTest, KilledProcessLosesAtMostTheRecordInFlight) {
  const int kills = EnvCount("PROGRESS_KILLS", 4);
  { ProgressRecords created(Dir()); }
  std::size_t before = 0;
  for (int k = 0; k < kills; ++k) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipefd[0]);
      ProgressRecords records(Dir());
      for (int i = 0;; ++i) {
        if (!records.Record(Sample(i, i))) _exit(1);
        if (write(pipefd[1], &i, sizeof i) != sizeof i) _exit(2);
      }
    }
    close(pipefd[1]);
    int confirmed = 0, value = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20 + 15 * k);
    while (std::chrono::steady_clock::now() < until &&
           read(pipefd[0], &value, sizeof value) == sizeof value) {
      confirmed = value + 1;
    }
    kill(pid, SIGKILL);
    while (read(pipefd[0], &value, sizeof value) == sizeof value) confirmed = value + 1;
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;

    ProgressRecords records(Dir());
    ASSERT_TRUE(records.Recording()) << records.Error();
    const std::vector<AnswerRecord> all = records.ReadAll();
    ASSERT_TRUE(records.Recording()) << records.Error();
    const std::size_t added = all.size() - before;
    EXPECT_GE(added, static_cast<std::size_t>(confirmed)) << "kill " << k;
    EXPECT_LE(added, static_cast<std::size_t>(confirmed) + 1) << "kill " << k;
    for (std::size_t i = before; i < all.size(); ++i) {
      ASSERT_EQ(all[i], Sample(static_cast<int>(i - before), static_cast<int>(i - before)));
    }
    before = all.size();
  }
}

}  // namespace
}  // namespace sorabeku::progress
