// The learner's records through the window as the program runs it: answers
// in quiz mode recorded (read back with the engine's tool), 復習 loading
// the problems due in due order, the window 成績 over a made-up history,
// and a records directory that cannot be written.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "app/practice.h"
#include "app/qt/testing/library_window.h"
#include "app/qt/testing/qt_environment.h"
#include "library/problem_store.h"
#include "training/progress/problem_fingerprint.h"
#include "training/progress/progress_records.h"

namespace sorabeku {
namespace {

using nlohmann::json;
using progress::AnswerRecord;
using progress::RecordKind;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("records_window_test"));

// Problem 12 is the worked example (base 45, 46, 64; green 83 84, then 85
// 86; red 102). Problems 3, 8, 15 and 1004 are one-move problems: after
// the base diagram, green 83 ends the line, red 102 ends it too.
std::string Problems() {
  std::string sql =
      "INSERT INTO mokuji VALUES (12, 7, '二線のハネツギ');\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 0, 1, 45, 9999, '黒先');\n"
      "INSERT INTO figure (MNB, TES, COL, PST) VALUES (12, 0, 2, 46);\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 0, 1, 64, 1);\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 1, 1, 83, 1, 'ハネ');\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 2, 2, 84, 2);\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 3, 1, 85, 2, '*');\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BFR, CMT) VALUES (12, 4, 2, 86, 3, '黒の先手');\n"
      "INSERT INTO figure (MNB, TES, COL, PST, BFR, BTO, CMT) VALUES (12, 1, -1, 102, 4, 1, '小さい');\n";
  for (int n : {3, 8, 15, 1004}) {
    const std::string m = std::to_string(n);
    // Each problem's own comment, so that no two share a fingerprint.
    sql += "INSERT INTO mokuji VALUES (" + m + ", 1, '問題" + m + "');\n"
           "INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (" + m +
           ", 0, 1, 45, 9999, '黒先" + m + "');\n"
           "INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (" + m + ", 0, 2, 46, 1);\n"
           "INSERT INTO figure (MNB, TES, COL, PST, BFR, BTO) VALUES (" + m + ", 1, 1, 83, 2, 1);\n"
           "INSERT INTO figure (MNB, TES, COL, PST, BFR, BTO) VALUES (" + m + ", 1, -1, 102, 3, 1);\n";
  }
  return sql;
}

std::int64_t At(int year, int month, int day, int hour = 10) {
  return SecondsOf(LocalTime{year, month, day, hour, 0});
}

class PracticeWindow : public testing::LibraryWindow {
 protected:
  void SetUp() override {
    recordsDir = records_.path().toStdString() + "/gakushu";
    Open(Problems());
  }

  std::string Fingerprint(int mnb) {
    return progress::ProblemFingerprint(ReadProblem(library().lookup(), mnb)->rows);
  }
  // A record of this library, as the window would have made it.
  AnswerRecord Made(int mnb, std::int64_t when, RecordKind kind, bool right, bool firstTry,
                    std::int32_t millis = 20'000) {
    return {library().directory(), mnb, Fingerprint(mnb), when, kind, right, firstTry, millis,
            true};
  }
  void Write(const std::vector<AnswerRecord>& history) {
    progress::ProgressRecords records(recordsDir);
    for (const AnswerRecord& r : history) ASSERT_TRUE(records.Record(r)) << records.Error();
  }
  // The finished problems of a made-up history, each due on another day
  // by 2026-12-10: 1004 hard on 11-30 (due 12-01), 3 missed on 12-01 (due
  // 12-02), 8 good on 12-05 (due 12-08), 15 easy on 12-09 (due weeks
  // later).
  std::vector<AnswerRecord> History() {
    return {Made(1004, At(2026, 11, 30), RecordKind::kFinished, true, false),
            Made(3, At(2026, 12, 1), RecordKind::kFinished, false, false),
            Made(8, At(2026, 12, 5), RecordKind::kFinished, true, true),
            Made(15, At(2026, 12, 9), RecordKind::kFinished, true, true, 5'000)};
  }

  // The records as the engine's tool lists them.
  std::string KuraSelect(const std::string& select, bool raw = false) {
    std::istringstream in;
    std::ostringstream out, err;
    std::vector<std::string> args{recordsDir, "--tsv", "-c", select};
    if (raw) args.insert(args.begin() + 1, {"--encoding", "raw"});
    EXPECT_EQ(kura::tool::RunKura(args, in, out, err, false), 0) << err.str();
    return out.str();
  }

  QTemporaryDir records_;
};

TEST_F(PracticeWindow, QuizAnswersAreRecordedAndTheToolReadsThem) {
  const std::string fingerprint = Fingerprint(12);
  Do("menu 出題モード");
  Do("clock 2026-12-10 09:30");
  Do("grid1 3");  // problem 12 (after 3 and 8)
  Do("button 1手進む");  // its branch point
  Do("board 102");  // red: wrong, and the line ends
  Do("button 1手戻す");
  Do("board 83");  // green
  Do("button 1手進む");
  json d = Do("button 1手進む");  // the end of the green line
  EXPECT_TRUE(d["messages"].empty()) << d["messages"];

  // Answer, finished (not solved), answer (right, not at the first try),
  // finished (solved after a miss): all in quiz mode, at the clock's time.
  EXPECT_EQ(KuraSelect("select ID, MNB, KIND, OKAY, FIRSTTRY, QUIZ, STAMP from kiroku order by ID"),
            "ID\tMNB\tKIND\tOKAY\tFIRSTTRY\tQUIZ\tSTAMP\n"
            "1\t12\t1\t0\t1\t1\t2026-12-10 09:30:00\n"
            "2\t12\t2\t0\t0\t1\t2026-12-10 09:30:00\n"
            "3\t12\t1\t1\t0\t1\t2026-12-10 09:30:00\n"
            "4\t12\t2\t1\t0\t1\t2026-12-10 09:30:00\n");
  // The library's directory as the program opened it, in UTF-8 as stored.
  EXPECT_EQ(KuraSelect("select distinct LIB, FPR from kiroku", true),
            "LIB\tFPR\n" + library().directory() + "\t" + fingerprint + "\n");
  EXPECT_EQ(Fingerprint(12), fingerprint);
}

TEST_F(PracticeWindow, ReviewLoadsTheProblemsDueInDueOrder) {
  Write(History());
  Do("clock 2026-12-10 09:00");
  json d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 1004);
  EXPECT_EQ(d["status"][0], ReviewsDueText(3));
  EXPECT_EQ(d["state"]["CurrentSection"], 2);
  Do("button 1手進む");
  Do("board 83");  // solved: due again in some days

  d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 3);
  EXPECT_EQ(d["status"][0], ReviewsDueText(2));
  Do("button 1手進む");
  Do("board 102");  // missed again: due tomorrow, not today

  d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 8);
  EXPECT_EQ(d["status"][0], ReviewsDueText(1));
  Do("button 1手進む");
  Do("board 83");

  d = Do("menu 復習");
  EXPECT_EQ(d["status"][0], kNoReviewToday);
  EXPECT_EQ(d["state"]["CurrentProblem"], 8);  // the problem shown stays

  Do("clock 2026-12-11 09:00");
  d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 3);  // the one missed yesterday
}

// Another program of the same learner records while this one runs.
TEST_F(PracticeWindow, RecordsOfAnotherProgramCountAtTheNextReview) {
  Do("clock 2026-12-10 09:00");
  json d = Do("menu 復習");
  EXPECT_EQ(d["status"][0], kNoReviewToday);
  Write(History());
  d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 1004);
  EXPECT_EQ(d["status"][0], ReviewsDueText(3));
}

TEST_F(PracticeWindow, ReviewFindsAMovedProblemAndSkipsADeletedOne) {
  Write(History());
  // 1004 renumbered to 1005; 3 deleted.
  testing::Kura(LibraryDir(),
                "UPDATE mokuji SET MNB = 1005 WHERE MNB = 1004;\n"
                "UPDATE figure SET MNB = 1005 WHERE MNB = 1004;\n"
                "DELETE FROM mokuji WHERE MNB = 3;\n"
                "DELETE FROM figure WHERE MNB = 3;\n");
  Do("clock 2026-12-10 09:00");
  json d = Do("menu 復習");
  EXPECT_EQ(d["state"]["CurrentProblem"], 1005);
  EXPECT_EQ(d["status"][0], ReviewsDueText(2));  // 1005 and 8

  // Rows without a contents row cannot be chosen: 8 is left out too.
  testing::Kura(LibraryDir(), "DELETE FROM mokuji WHERE MNB = 8;\n");
  Do("menu 復習");
  d = Do("menu 復習");
  EXPECT_TRUE(d["messages"].empty()) << d["messages"];
  EXPECT_EQ(d["state"]["CurrentProblem"], 1005);
  EXPECT_EQ(d["status"][0], ReviewsDueText(1));
}

TEST_F(PracticeWindow, FiguresWindowShowsTheMadeUpHistory) {
  std::vector<AnswerRecord> history = History();
  // Answers at branch points: 12-01 one right of two, 12-05 all three
  // wrong; problem 3 missed three times, 8 once, 12 once.
  for (auto [mnb, day, right] : {std::tuple{3, 1, false}, {3, 1, true}, {3, 5, false},
                                 {8, 5, false}, {3, 5, false}, {12, 9, false}}) {
    history.push_back(Made(mnb, At(2026, 12, day, 11), RecordKind::kAnswer, right, true));
  }
  Write(history);
  Do("clock 2026-12-10 09:00");
  json d = Do("menu 成績");
  ASSERT_TRUE(d.contains("progressWindow")) << "the window 成績 is not open";
  const json& w = d["progressWindow"];
  EXPECT_EQ(w["title"], "成績");
  EXPECT_EQ(w["sections"], json::parse(R"([
    {"name": "出入の部", "tried": 3, "solvedFirstTry": 2, "due": 2},
    {"name": "手筋の部", "tried": 1, "solvedFirstTry": 0, "due": 1},
    {"name": "地中の部", "tried": 0, "solvedFirstTry": 0, "due": 0}])"));
  EXPECT_EQ(w["accuracy"], json::parse(R"([
    {"date": "2026-12-01", "percent": 50}, {"date": "2026-12-05", "percent": 0},
    {"date": "2026-12-09", "percent": 0}])"));
  EXPECT_EQ(w["mostMissed"], json::parse(R"([
    {"mnb": 3, "misses": 3, "older": false}, {"mnb": 8, "misses": 1, "older": false},
    {"mnb": 12, "misses": 1, "older": false}])"));

  // A double-click opens the problem and closes the window.
  d = Do("seiseki dbl 2");
  EXPECT_EQ(d["state"]["CurrentProblem"], 8);
  EXPECT_FALSE(d.contains("progressWindow"));

  // Escape closes it.
  Do("menu 成績");
  d = Do("seiseki escape");
  EXPECT_FALSE(d.contains("progressWindow"));
}

TEST_F(PracticeWindow, MissedProblemNoLongerInTheLibraryIsSaidSo) {
  std::vector<AnswerRecord> history{Made(3, At(2026, 12, 1), RecordKind::kAnswer, false, true)};
  Write(history);
  testing::Kura(LibraryDir(), "DELETE FROM figure WHERE MNB = 3;\n");
  Do("menu 成績");
  json d = Do("seiseki dbl 1");
  EXPECT_EQ(d["messages"], json::array({kProblemGone}));
  EXPECT_TRUE(d.contains("progressWindow"));  // stays open
}

// A records directory that cannot be made: one message at the first
// answer, and training goes on as without records.
class UnwritableRecords : public testing::LibraryWindow {
 protected:
  void SetUp() override {
    const std::string blocker = scratch_.path().toStdString() + "/file";
    std::ofstream(blocker) << "not a directory";
    recordsDir = blocker + "/gakushu";
    Open(Problems());
  }
  QTemporaryDir scratch_;
};

TEST_F(UnwritableRecords, OneMessageAndTrainingGoesOn) {
  Do("grid1 3");  // problem 12
  Do("button 1手進む");
  json d = Do("board 102");
  ASSERT_EQ(d["messages"].size(), 1u) << d["messages"];
  EXPECT_EQ(d["messages"][0].get<std::string>().rfind(progress::kCannotRecord, 0), 0u);
  Do("button 1手戻す");
  d = Do("board 83");
  EXPECT_TRUE(d["messages"].empty()) << d["messages"];
  EXPECT_EQ(d["board"][83 - 1], 1);  // the green answer played as always
  d = Do("menu 復習");  // the answers of this run still count
  EXPECT_TRUE(d["messages"].empty()) << d["messages"];
}

}  // namespace
}  // namespace sorabeku
