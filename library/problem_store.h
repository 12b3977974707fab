// Reading whole problems from the library and appending new ones, through
// the same query results the screens use. The queries must hand out texts
// in UTF-8 (ShiftJisQueries over the data module does).
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "library/problem_queries.h"
#include "library/problem_record.h"

namespace sorabeku {

// Thrown before anything is written when a problem cannot be added.
class ProblemNotAdded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Numbers of the problems in the contents of `section` (1..3), ascending.
std::vector<int> ListSection(ProblemQueries& queries, int section);

// The contents row and the rows of problem `number`; nullopt when the
// library has neither. Grade and description stay empty for a problem
// without contents row (and for numbers outside the sections, which no
// contents statement lists).
std::optional<ProblemRecord> ReadProblem(ProblemQueries& queries, int number);

// Whether the library has a contents row or rows of problem `number`.
bool NumberInUse(ProblemQueries& queries, int number);

// Appends every problem — its contents row, then its rows with TNB 1..n —
// in one transaction: either all are stored or, when a write fails, none
// (the error passes on). Throws ProblemNotAdded before the first write
// when a number is already in use. Texts must be storable (see
// storable_text.h), as the importer leaves them. `progress`, when given,
// is called after each problem with the number appended so far.
void AppendProblems(ProblemQueries& queries, const std::vector<ProblemRecord>& problems,
                    const std::function<void(int)>& progress = {});

}  // namespace sorabeku
