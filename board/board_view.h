// Drawing stones and marks into the board cells of the screen model.
#pragma once

#include <string>

#include "board/board_context.h"

namespace sorabeku {

// Draws a stone or a mark at `point`; the caller has already written the
// point's Board value. displayCode 0..2 draws a plain stone: 0 writes no
// number, 1 writes moveNumber and erases the number at LastStonePoint, 2
// writes moveNumber and keeps earlier numbers; then LastStonePoint := point,
// the second status panel shows `text`, and the capture check runs.
// displayCode > 2 is a mark: tens digit 1 draws the stone too, 2 bold on an
// opaque board-coloured patch, 3 bold and transparent; units digit 1 white
// on a black stone else black, 2 green, 3 red; the label shows `text`.
// Marks do not capture. Throws what RemoveCaptures throws.
void ShowStone(BoardContext& board, int moveNumber, StoneCode stoneCode,
               PointIndex point, int displayCode, const std::string& text);

// Removes candidate marks ("●") and opaque text marks: those labels become
// transparent with an empty text. A point whose text mark is no longer
// drawn is empty: its Board value 3 becomes 0, so that it is a liberty and
// takes a click. Other labels, pictures and Board values stay.
void ClearMarks(BoardContext& board);

// Empties the label of `point` as ClearMarks does (transparent, no text)
// and frees the point when a text mark occupied it.
void ClearMarkAt(BoardContext& board, PointIndex point);

// Empties a point's picture and its label text (transparency, colour and
// style stay).
void ClearPoint(ScreenModel& screen, PointIndex point);

// Shows the black stone picture for colour 1, the white one otherwise.
void DrawStonePicture(ScreenModel& screen, PointIndex point, int colour);

// The candidate mark.
inline constexpr const char* kCandidateMark = "●";

}  // namespace sorabeku
