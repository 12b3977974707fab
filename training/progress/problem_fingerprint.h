// A problem's fingerprint: 64-bit FNV-1a over the content of its rows in
// row order (TES, COL, PST, BFR, BTO, CMT, DIX; not MNB and TNB), as 16
// lowercase hex digits. A problem moved to another number keeps its
// fingerprint; any edit of a row, an added or removed row or a change of
// order gives another one.
#pragma once

#include <string>
#include <vector>

#include "library/problem_record.h"

namespace sorabeku::progress {

std::string ProblemFingerprint(const std::vector<ProblemRow>& rows);

}  // namespace sorabeku::progress
