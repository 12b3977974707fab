// The capture log: the stones the capture rule names taken off the board
// and the screen and recorded with their numbers, so that the move can be
// taken back; and the take-back.
#pragma once

#include "board/board_context.h"
#include "board/captures.h"

namespace sorabeku {

// Takes off every stone that the stone at p captures (CapturesOf), clearing
// its cell and appending one capture record per stone in increasing point
// order. Does nothing unless |Board[p]| is 1 or 2.
//
// Record keys: with edit moves (EditCount > 0) MoveKey is EditCount and
// StoneNumber is moveNumber. Otherwise MoveKey is the TES of the current
// problem row and StoneNumber the TES of the last row before it that put a
// stone on the captured point; the problem rows are left on the row that
// was current. With no problem rows open, MoveKey is moveNumber and
// StoneNumber 0.
//
// A record goes to slot CaptureLogCount + 1, or to the first free slot when
// that one is still in use; when all 100 slots are used the stone is taken
// off without a record. Throws whatever the problem rows throw.
void RemoveCaptures(BoardContext& board, int moveNumber, PointIndex p);

// Puts back every logged stone whose MoveKey is `key`, slot by slot: board
// value, picture and, when withNumbers and StoneNumber > 0, its number in
// white on black or black on white. Frees the slots; ColourToPlay ends as
// the colour of the last stone put back.
void RestoreCaptures(BoardContext& board, int key, bool withNumbers);

}  // namespace sorabeku
