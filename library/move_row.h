// The columns of a row of table `figure` and of table `mokuji`, by
// position: the program reads and writes them by position, so this order
// is part of the library's format.
#pragma once

namespace sorabeku {

// Table `figure`: one stone or mark of a problem.
namespace figure {
inline constexpr int MNB = 0;  // problem number
inline constexpr int TES = 1;  // move number drawn on the stone; 0 none
inline constexpr int COL = 2;  // stone code: 1, 2, -1, -2; 3 or 0 on marks
inline constexpr int PST = 3;  // point 1..361
inline constexpr int BFR = 4;  // branch number on an end row, else 0
inline constexpr int BTO = 5;  // branch continued, on a head row, else 0
inline constexpr int TNB = 6;  // position of the row in its problem, 1..n
inline constexpr int CMT = 7;  // comment, or the text of a mark
inline constexpr int DIX = 8;  // display code; 0 plain numbered stone
inline constexpr int kColumnCount = 9;
}  // namespace figure

// Table `mokuji`: the table of contents.
namespace mokuji {
inline constexpr int MNB = 0;   // problem number
inline constexpr int SIZE = 1;  // grade 1..25
inline constexpr int CMT = 2;   // description
inline constexpr int kColumnCount = 3;
}  // namespace mokuji

// BTO of the first row of a base diagram.
inline constexpr int kRootMarker = 9999;

// A comment that makes the training screen play the following row at once.
inline constexpr const char* kContinueMark = "*";

// Problem-number ranges of the sections 1..3 (open ranges).
constexpr int SectionLow(int section) { return (section - 1) * 1000; }
constexpr int SectionHigh(int section) { return section * 1000; }

}  // namespace sorabeku
