// One line of the learner's records: an answer at a branch point or a
// problem finished, and the rating a finished problem gives the scheduler.
#pragma once

#include <cstdint>
#include <string>

#include "training/progress/fsrs_scheduler.h"

namespace sorabeku::progress {

enum class RecordKind { kAnswer = 1, kFinished = 2 };

struct AnswerRecord {
  std::string library{};      // the library's directory, as the program opened it
  int mnb = 0;                // the problem's number
  std::string fingerprint{};  // ProblemFingerprint of its rows (16 hex digits)
  std::int64_t when = 0;      // seconds since 1970-01-01 00:00 UTC
  RecordKind kind = RecordKind::kAnswer;
  bool right = false;         // answer right / problem solved
  bool firstTry = false;      // no wrong answer before it in this attempt
  std::int32_t millis = 0;    // time taken (answer: since the position was shown;
                              // finished: since the problem was loaded)
  bool quiz = false;          // quiz mode, else plain mode

  bool operator==(const AnswerRecord&) const = default;
};

// A finished problem solved at the first try within this time counts as
// easy.
inline constexpr std::int32_t kFastMillis = 10'000;

// The rating of a finished problem: not solved → again; solved after a
// miss → hard; solved at the first try → good, easy when it took at most
// kFastMillis.
inline Rating RatingOf(const AnswerRecord& finished) {
  if (!finished.right) return Rating::kAgain;
  if (!finished.firstTry) return Rating::kHard;
  return finished.millis <= kFastMillis ? Rating::kEasy : Rating::kGood;
}

// The local calendar day (days since 1970-01-01) of a time in seconds.
int LocalDay(std::int64_t when);

}  // namespace sorabeku::progress
