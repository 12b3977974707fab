// The learner's records: a Kura database of the learner's own, never the
// library, holding one table `kiroku` with a row per answer at a branch
// point and per problem finished.
//
//   column    type          meaning
//   ID        AUTOINC       order of recording
//   LIB       VARCHAR(250)  the library's directory (its last 250 bytes)
//   MNB       INTEGER       the problem's number when it was answered
//   FPR       CHAR(16)      fingerprint of the problem's rows (hex)
//   SECS      LARGEINT      time of the answer, seconds since 1970 UTC
//   STAMP     VARCHAR(19)   the same as local "YYYY-MM-DD HH:MM:SS"
//   KIND      SMALLINT      1 answer at a branch point, 2 problem finished
//   OKAY      SMALLINT      1 right / solved, 0 wrong / not solved
//   FIRSTTRY  SMALLINT      1 when no wrong answer came before it
//   MS        INTEGER       time taken in milliseconds
//   QUIZ      SMALLINT      1 quiz mode, 0 plain mode
//
// Rows are only ever appended, one statement per record, so another
// program of the same learner can append beside this one and a killed
// program loses at most the record it was writing. A failure (the
// directory cannot be made or written, the table is damaged or stays
// locked) switches recording off for the rest of the run: the failing call
// returns false, Error() gives one message for the screen, and training
// goes on. A table left out of step by a program killed while appending
// (its header behind its records) is mended with the engine's repair when
// it is opened; the repair keeps backups of the files beside them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "training/progress/answer_record.h"

namespace kura {
class TKuraQuery;
}

namespace sorabeku::progress {

inline constexpr const char* kRecordsTable = "kiroku";
// The start of the message shown once when recording fails; the cause
// follows it.
inline constexpr const char* kCannotRecord = "学習記録を保存できません。記録せずに続けます：";

// The learner's records directory: $XDG_DATA_HOME/sorabeku/gakushu, where
// an unset or relative XDG_DATA_HOME means ~/.local/share.
std::string DefaultRecordsDirectory();

class ProgressRecords {
 public:
  // Opens (creating the directory and the table on first use) the records
  // in `directory`. Never throws: a failure leaves Recording() false and
  // the message in Error().
  explicit ProgressRecords(std::string directory);
  ~ProgressRecords();
  ProgressRecords(const ProgressRecords&) = delete;
  ProgressRecords& operator=(const ProgressRecords&) = delete;

  bool Recording() const { return error_.empty(); }
  const std::string& Directory() const { return directory_; }
  // The failure message ("" while recording works).
  const std::string& Error() const { return error_; }
  // The failure message the first time it is asked for after a failure,
  // then nothing: the screen shows it once.
  std::optional<std::string> TakeErrorToShow();

  // Appends one record; false (and nothing written) when recording is off
  // or this write fails.
  bool Record(const AnswerRecord& record);
  // Every record in the order recorded; empty when recording is off or
  // reading fails (which switches recording off).
  std::vector<AnswerRecord> ReadAll();

 private:
  void Open();
  void Fail(const std::string& cause);
  std::unique_ptr<kura::TKuraQuery> NewQuery(const std::string& text);

  std::string directory_;
  std::string sessionName_;
  std::string error_;
  bool errorShown_ = false;
  std::unique_ptr<kura::TKuraQuery> insert_;  // prepared once
};

}  // namespace sorabeku::progress
