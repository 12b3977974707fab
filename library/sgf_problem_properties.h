// How a problem is written as an SGF game tree: the properties the
// exporter writes and the importer reads. Every problem is one game tree.
//
// Root node: GM[1]FF[4]CA[UTF-8]SZ[19], then the base diagram as setup —
// AB / AW for its black and white stones, LB[pt:text] for its text marks,
// C for the comment of its last stone — and the contents row.
//
// Each further node is one row of a registered sequence: B / W for a stone
// (with LB on its own point when the stone shows a text instead of its
// number), or LB alone for a text mark; C for the comment. A sequence ends
// where the tree branches or ends; the head row of every sequence carries
// TE[1] (offered as a green mark) or BM[1] (red), and a node with TE or BM
// always starts a sequence, so a sequence with a single continuation ends
// before it. Continuations come as variations in row order.
//
// Properties of our own (other programs ignore them), written only where
// the standard ones do not already give the exact value:
//
//   id   node  value          meaning
//   SBN  root  number         problem number (MNB)
//   SBG  root  number         grade (SIZE of the contents row)
//   SBD  root  text           description (CMT of the contents row)
//   SBB  root  pt:COL:TES:DIX:text, one value per row
//                             the base diagram's rows exactly, in row order,
//                             when AB/AW/LB/C cannot say them (order,
//                             codes, comments of other rows); it is taken
//                             instead of them
//   SBT  move  number         TES, when it is not one more than the last
//                             stone's on the line (0 for marks)
//   SBC  move  number         COL, when it is not 1 for B, 2 for W, 3 for a
//                             mark, sign turned (mark: 0) on a BM head
//   SBX  move  number         DIX, when it is not 0 for a stone, 11 for a
//                             stone with a label, 21 for a mark
//   SBA  move  1              the comment is "*": the next row follows at once
//
// Without them an importer takes these defaults; the grade is then left
// empty and the number must be given on the command line.
#pragma once

#include <string_view>

namespace sorabeku::sgfprop {

inline constexpr std::string_view kNumber = "SBN";
inline constexpr std::string_view kGrade = "SBG";
inline constexpr std::string_view kDescription = "SBD";
inline constexpr std::string_view kBaseRows = "SBB";
inline constexpr std::string_view kMoveNumber = "SBT";
inline constexpr std::string_view kColour = "SBC";
inline constexpr std::string_view kDisplayCode = "SBX";
inline constexpr std::string_view kAutoAdvance = "SBA";

// Default display codes.
inline constexpr int kLabelledStoneDix = 11;
inline constexpr int kMarkDix = 21;
// Stone code of a text mark offered green.
inline constexpr int kMarkCol = 3;

}  // namespace sorabeku::sgfprop
