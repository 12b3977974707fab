// Statements and tool commands aimed at what lies outside a database, and
// damage that the maintenance commands must not hide: through the `kura`
// tool, on real directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "engine/storage/env_fault.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"

namespace kura {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = 0;
  std::string out, err;
};

Result Kura(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  Result r;
  r.status = tool::RunKura(args, in, out, err, false);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// Every file below `root` with its bytes and modification time.
std::map<std::string, std::pair<std::vector<std::uint8_t>, fs::file_time_type>> Snapshot(
    const fs::path& root) {
  std::map<std::string, std::pair<std::vector<std::uint8_t>, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    files[e.path().string()] = {testing::ReadWholeFile(e.path().string()), e.last_write_time()};
  }
  return files;
}

// The code RepairTable raises for table t of `db` while its data file
// cannot be read: as a user other than root (a child process that gives up
// root, which reads every file) after the file lost its permissions.
ErrorCode RepairCodeWithoutReadPermission(const std::string& root, const std::string& db) {
  fs::permissions(db + "/t.DAT", fs::perms::none);
  auto run = [&] {
    TDataSession session;
    return testing::CodeOf([&] { RepairTable(session, db, "t"); });
  };
  ErrorCode code = 0;
  if (::geteuid() != 0) {
    code = run();
  } else {
    for (fs::path p = db; p != fs::path(root).parent_path(); p = p.parent_path()) {
      fs::permissions(p, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    const pid_t child = ::fork();
    if (child == 0) {
      const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(dropped ? (run() == KURA_OSEACCES ? 0 : 1) : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    code = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? KURA_OSEACCES : -1;
  }
  fs::permissions(db + "/t.DAT", fs::perms::owner_read | fs::perms::owner_write);
  return code;
}

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(db_);
    fs::create_directories(victim_);
    ASSERT_EQ(Kura({victim_, "-c", "CREATE TABLE mokuji (MNB INTEGER, CMT VARCHAR(20)); "
                                   "INSERT INTO mokuji VALUES (1, 'kept')"})
                  .status,
              0);
    ASSERT_EQ(Kura({db_, "-c", "CREATE TABLE t (K INTEGER, S VARCHAR(10), M MEMO, PRIMARY KEY (K)); "
                               "CREATE INDEX T_S ON t (S); "
                               "INSERT INTO t VALUES (1, 'one', 'one'), (2, 'two', 'two'), "
                               "(3, 'three', 'three')"})
                  .status,
              0);
  }

  testing::ScratchDir scratch_;
  const std::string root_ = scratch_.Path();
  const std::string db_ = root_ + "/lib/db";
  const std::string victim_ = root_ + "/lib/victim";
};

TEST_F(Hostile, TableNamesNeverLeaveTheDatabaseDirectory) {
  const auto before = Snapshot(root_);
  for (const std::string statement :
       {"CREATE TABLE \"../../x\" (a INTEGER)", "CREATE TABLE \"../x\" (a INTEGER)",
        "CREATE TABLE \"..\" (a INTEGER)", "CREATE TABLE \".\" (a INTEGER)",
        "CREATE TABLE \"\" (a INTEGER)", "CREATE TABLE \"..\\x\" (a INTEGER)",
        "SELECT * FROM \"../victim/mokuji\"", "DROP TABLE \"../victim/mokuji\"",
        "INSERT INTO \"../victim/mokuji\" VALUES (2, 'x')"}) {
    const Result r = Kura({db_, "-c", statement});
    EXPECT_EQ(r.status, tool::kExitFailed) << statement;
    EXPECT_NE(r.err.find("11013"), std::string::npos) << statement << ": " << r.err;
  }
  const Result repair = Kura({"repair", db_, "../victim/mokuji"});
  EXPECT_EQ(repair.status, tool::kExitFailed) << repair.out;
  EXPECT_EQ(Snapshot(root_), before) << "a file outside the database was made, changed or removed";
}

TEST_F(Hostile, VerifyChangesNoFileAndReportsAMissingOrForeignIndex) {
  // Verify of sound tables, of damaged ones and of a missing index file
  // leaves every byte and every time as it was.
  fs::copy_file(db_ + "/t.DAT", db_ + "/u.DAT");  // u: no index file
  testing::WriteWholeFile(db_ + "/v.DAT", {1, 2, 3});
  const auto before = Snapshot(root_);
  ::sleep(1);  // a write would show in the modification time
  EXPECT_EQ(Kura({"verify", db_, "t"}).status, 0);
  const Result missing = Kura({"verify", db_});
  EXPECT_EQ(missing.status, tool::kExitFailed);
  EXPECT_NE(missing.out.find("u: the index file u.IDX is missing"), std::string::npos) << missing.out;
  EXPECT_EQ(Snapshot(root_), before);
  EXPECT_FALSE(fs::exists(db_ + "/u.IDX"));

  // Another table's index file swapped in.
  fs::copy_file(victim_ + "/mokuji.IDX", db_ + "/t.IDX", fs::copy_options::overwrite_existing);
  const Result foreign = Kura({"verify", db_, "t"});
  EXPECT_EQ(foreign.status, tool::kExitFailed) << foreign.out;
}

TEST_F(Hostile, AnInvalidRecordStatusIsReportedAndRepairEndsWithASoundTable) {
  // Record 2's status byte damaged: SELECT skips the row, verify names it.
  auto data = testing::ReadWholeFile(db_ + "/t.DAT");
  const std::size_t recordLength = data[21] | (data[22] << 8);
  const std::size_t fields = data[23] | (data[24] << 8);
  const std::size_t record2 = 127 + 768 * fields + recordLength;
  ASSERT_EQ(data.size(), 127 + 768 * fields + 3 * recordLength);
  data[record2] = 0x41;
  testing::WriteWholeFile(db_ + "/t.DAT", data);
  const Result damaged = Kura({"verify", db_, "t"});
  EXPECT_EQ(damaged.status, tool::kExitFailed);
  EXPECT_NE(damaged.out.find("record 2 has status byte 65"), std::string::npos) << damaged.out;

  const Result repair = Kura({"repair", db_, "t"});
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_NE(repair.out.find("record 2 had status byte 65, dropped"), std::string::npos) << repair.out;
  EXPECT_EQ(Kura({"verify", db_, "t"}).status, 0);
  const Result rows = Kura({"--tsv", db_, "-c", "SELECT K, M FROM t ORDER BY K"});
  EXPECT_EQ(rows.out, "K\tM\n1\tone\n3\tthree\n");
  // The slot is free again: a new row takes it.
  EXPECT_EQ(Kura({db_, "-c", "INSERT INTO t VALUES (4, 'four', 'four')"}).status, 0);
  EXPECT_EQ(Kura({"verify", db_, "t"}).status, 0);
}

TEST_F(Hostile, RepairThatLeavesDamageSaysSoAndFails) {
  // Record 2's row id set to 0: repair mends what it knows, but hands out
  // no new row ids, so the table still fails verify; repair says so.
  auto data = testing::ReadWholeFile(db_ + "/t.DAT");
  const std::size_t recordLength = data[21] | (data[22] << 8);
  const std::size_t fields = data[23] | (data[24] << 8);
  const std::size_t record2 = 127 + 768 * fields + recordLength;
  for (int i = 5; i < 9; ++i) data[record2 + i] = 0;
  testing::WriteWholeFile(db_ + "/t.DAT", data);
  const Result r = Kura({"repair", db_, "t"});
  EXPECT_EQ(r.status, tool::kExitFailed) << r.out;
  EXPECT_NE(r.err.find("t is still damaged after the repair: record 2 has row id 0"), std::string::npos)
      << r.err;
}

TEST_F(Hostile, ValuesAColumnCannotHoldAreRefusedAndStoreNothing) {
  ASSERT_EQ(Kura({db_, "-c", "CREATE TABLE n (I INTEGER, S SMALLINT, W WORD, B BCD(32,4), "
                             "L LARGEINT, V VARCHAR(10))"})
                .status,
            0);
  struct Case {
    std::string values;
    const char* code;
  };
  for (const Case& c : std::vector<Case>{
           {"(2147483648, 0, 0, 0, 0, '')", "9731"},
           {"(-2147483649, 0, 0, 0, 0, '')", "9730"},
           {"(0, 32768, 0, 0, 0, '')", "9731"},
           {"(0, -32769, 0, 0, 0, '')", "9730"},
           {"(0, 0, 65536, 0, 0, '')", "9731"},
           {"(0, 0, -1, 0, 0, '')", "9730"},
           {"(0, 0, 0, 999999999999999, 0, '')", "9731"},
           {"(0, 0, 0, -12345678901234567, 0, '')", "9730"},
           {"(0, 0, 0, 0, 0, 'abcdefghijk')", "9731"},
           // A good row before a bad one: neither is stored.
           {"(1, 1, 1, 1, 1, 'x'), (2147483648, 0, 0, 0, 0, '')", "9731"}}) {
    const Result r = Kura({db_, "-c", "INSERT INTO n VALUES " + c.values});
    EXPECT_EQ(r.status, tool::kExitFailed) << c.values;
    EXPECT_NE(r.err.find(std::string("# ") + c.code), std::string::npos) << c.values << ": " << r.err;
  }
  EXPECT_EQ(Kura({"--tsv", db_, "-c", "SELECT COUNT(*) FROM n"}).out, "COUNT(*)\n0\n");

  // The extremes themselves are stored as they are.
  const Result edges = Kura({db_, "-c",
                             "INSERT INTO n VALUES (2147483647, -32768, 65535, 922337203685477, "
                             "-9223372036854775808, 'abcdefghij   '), (0, 0, 0, 0, 0, 'b')"});
  ASSERT_EQ(edges.status, 0) << edges.err;
  EXPECT_EQ(Kura({"--tsv", db_, "-c", "SELECT I, S, W, L, V FROM n ORDER BY I"}).out,
            "I\tS\tW\tL\tV\n0\t0\t0\t0\tb\n2147483647\t-32768\t65535\t-9223372036854775808\tabcdefghij\n");
  // An UPDATE that overflows in its second row changes no row.
  const Result wrap = Kura({db_, "-c", "UPDATE n SET I = I + 1, V = 'c'"});
  EXPECT_NE(wrap.err.find("# 9731"), std::string::npos) << wrap.err;
  EXPECT_EQ(Kura({"--tsv", db_, "-c", "SELECT I, V FROM n ORDER BY I"}).out,
            "I\tV\n0\tb\n2147483647\tabcdefghij\n");
}

TEST_F(Hostile, TemporaryFilesGoToADirectoryOfTheirOwnAndFollowNoPlantedLink) {
  // Links planted under the names the engine's temporary files would take
  // in the directory given for them, all pointing at one file; the names
  // of temporary tables' data files are left free, so that those names
  // are chosen and their index and BLOB files meet the links.
  const std::string temp = root_ + "/temp";
  fs::create_directories(temp);
  const std::string target = root_ + "/precious";
  testing::WriteWholeFile(target, {'k', 'e', 'e', 'p'});
  std::string prefix = std::to_string(std::llabs(Env::Default()->ThreadId()));
  prefix.resize(std::min<std::size_t>(prefix.size(), 5));
  for (int n = 0; n < 20; ++n) {
    for (const char* ext : {".IDX", ".TMP", ".BLB"}) {
      fs::create_symlink(target, temp + "/" + prefix + std::to_string(n) + ext);
    }
  }
  const Result grouped = Kura({"--tsv", "--temp-dir", temp, db_, "-c",
                               "SELECT S, COUNT(*) FROM t GROUP BY S ORDER BY S"});
  EXPECT_EQ(grouped.status, 0) << grouped.err;
  EXPECT_EQ(grouped.out, "S\tCOUNT(*)\none\t1\nthree\t1\ntwo\t1\n");
  EXPECT_EQ(testing::ReadWholeFile(target), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
  // The session's own directory is gone again; only the planted links stay.
  for (const auto& e : fs::directory_iterator(temp)) EXPECT_TRUE(e.is_symlink()) << e.path();

  // A file made new never follows a link and is its owner's alone.
  std::unique_ptr<EnvFile> file;
  EXPECT_EQ(Env::Default()->Open(temp + "/" + prefix + "0.IDX",
                                 {.create = true, .createNew = true}, &file),
            EEXIST);
  ASSERT_EQ(Env::Default()->Open(temp + "/fresh", {.create = true, .createNew = true}, &file), 0);
  struct stat st {};
  ASSERT_EQ(::stat((temp + "/fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string made;
  ASSERT_EQ(Env::Default()->MakePrivateDirectory(temp, &made), 0);
  ASSERT_EQ(::stat(made.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(Env::Default()->RemoveDirectory(made), 0);
}

TEST_F(Hostile, MessagesNameWhatTheUserDid) {
  const Result missing = Kura({root_ + "/no/such/dir", "-c", "CREATE TABLE z (a INTEGER)"});
  EXPECT_EQ(missing.status, tool::kExitFailed);
  EXPECT_NE(missing.err.find("cannot make the database directory " + root_ + "/no/such/dir"),
            std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.err.find("'z'"), std::string::npos) << missing.err;

  // A temporary directory that cannot be made is named, not a file in it.
  const Result temp = Kura({"--temp-dir", root_ + "/no/such/temp", db_, "-c",
                            "SELECT S, COUNT(*) FROM t GROUP BY S"});
  EXPECT_EQ(temp.status, tool::kExitFailed);
  EXPECT_NE(temp.err.find(root_ + "/no/such/temp"), std::string::npos) << temp.err;

  // Repair refused by permissions says so, not "already in use"; a backup
  // that could not be written whole is not left behind.
  EXPECT_EQ(RepairCodeWithoutReadPermission(root_, db_), KURA_OSEACCES);
  FaultEnv faulty(Env::Default());
  TFileList files(&faulty);
  TDataSession session(files);
  faulty.FailCall(FaultCall::kWrite, 1, ENOSPC, true);
  EXPECT_EQ(testing::CodeOf([&] { RepairTable(session, db_, "t"); }), KURA_WRITEERR);
  faulty.ClearCallFaults();
  EXPECT_FALSE(fs::exists(db_ + "/t.DBK"));
  EXPECT_EQ(Kura({"verify", db_, "t"}).status, 0);
}

}  // namespace
}  // namespace kura
