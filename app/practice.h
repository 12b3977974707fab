// Practice: the learner's records joined to the program — every answer of
// the training screen recorded, 復習 (the next problem due for review
// loaded onto the training screen) and the figures of the 成績 window.
//
// The records (progress::LearnerProgress) are opened on first use, so a
// program that is only looked at creates no records directory. A failure
// to open or to write them is shown once in an error box; training goes
// on without recording.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/library_screens.h"
#include "form/services.h"
#include "main_form/main_form.h"
#include "training/progress/answer_recorder.h"
#include "training/progress/learner_progress.h"

namespace sorabeku {

// Texts of the status bar after 復習.
inline constexpr const char* kNoReviewToday = "今日の復習はありません。";
// "今日の復習は{n}問です。" with n the problems due today, the one loaded
// among them.
std::string ReviewsDueText(int due);
// The error box of a problem of the records that the library no longer
// holds.
inline constexpr const char* kProblemGone = "この問題は今の問題集にありません。";

// Seconds since 1970 UTC of a local time.
std::int64_t SecondsOf(const LocalTime& t);

struct PracticeWiring {
  std::string libraryDir;    // the library's directory, as the records name it
  std::string recordsDir;    // the learner's records directory
  std::function<std::int64_t()> now;  // seconds since 1970 UTC
};

class Practice {
 public:
  // `form`, `screens` and `lookup` must outlive this. `lookup` reads the
  // same library as `screens` through queries of its own (texts in UTF-8),
  // so that reading a problem's rows never moves the training screen's
  // cursors. Becomes the training screen's answer listener until destroyed.
  Practice(MainForm& form, LibraryScreens& screens, ProblemQueries& lookup,
           PracticeWiring wiring);
  ~Practice();
  Practice(const Practice&) = delete;
  Practice& operator=(const Practice&) = delete;

  // 復習 and 成績 first read the records again, so that what another
  // program of the learner recorded since counts too.
  //
  // 復習: loads the first problem due today onto the training screen and
  // says in the status bar how many are due, or says that none is. Runs
  // inside one of the form's events (engine errors pass on).
  void ReviewNext();

  // The figures of the 成績 window for this library today.
  progress::ProgressFigures Figures();

  // Loads the problem known by `fingerprint`, last answered as `mnb`:
  // at that number when it is still there, else wherever the library now
  // holds it. False, with an error box, when it holds it nowhere.
  bool OpenProblem(int mnb, const std::string& fingerprint);

  // The local day of the clock's time.
  int Today() const;
  progress::LearnerProgress& Progress();
  const std::string& libraryDir() const { return wiring_.libraryDir; }

 private:
  // Progress() read again from the records when it was open already.
  progress::LearnerProgress& Current();
  std::string FingerprintAt(int mnb);
  // Whether a contents row lists problem `mnb` (only those can be chosen).
  bool Listed(int mnb);
  // The number at which the library holds the problem, listed in the
  // contents, if it does.
  std::optional<int> NumberOf(int mnb, const std::string& fingerprint);
  void ShowRecordsError();
  // Shows problem `mnb` on the training screen, as choosing it in its
  // section's contents does; false, with an error box, when no contents
  // row lists it.
  bool LoadProblem(int mnb);

  MainForm& form_;
  LibraryScreens& screens_;
  ProblemQueries& lookup_;
  PracticeWiring wiring_;
  std::unique_ptr<progress::LearnerProgress> progress_;
  progress::AnswerRecorder recorder_;
  // Fingerprint → number of every problem of the library, built when a
  // problem is not found at its number; cleared at each 復習.
  std::optional<std::map<std::string, int>> index_;
};

}  // namespace sorabeku
