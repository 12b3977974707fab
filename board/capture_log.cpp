#include "board/capture_log.h"

#include <cstdlib>

#include "board/board_view.h"

namespace sorabeku {
namespace {

// The TES of the last row before the first row with TES >= t that put a
// stone on `point`; 0 if none. Moves the problem rows.
int ScanStoneNumber(ProblemRows& rows, int t, PointIndex point) {
  int number = 0;
  for (rows.First(); !rows.Eof() && rows.Tes() < t; rows.Next()) {
    if (rows.Pst() == point) number = rows.Tes();
  }
  return number;
}

// The slot the next record goes to, or 0 when the log is full. Normally
// slot CaptureLogCount + 1; a take-back out of order can leave that one in
// use, and it is never overwritten.
int FreeSlot(const MainState& state) {
  const int next = state.CaptureLogCount + 1;
  if (next <= kCaptureLogSlots && state.CaptureLog[next].IsFree()) return next;
  for (int slot = 1; slot <= kCaptureLogSlots; ++slot) {
    if (state.CaptureLog[slot].IsFree()) return slot;
  }
  return 0;
}

void AppendRecord(MainState& state, const CaptureRecord& record) {
  const int slot = FreeSlot(state);
  if (slot == 0) return;  // full: the stone is off the board, unrecorded
  state.CaptureLog[slot] = record;
  ++state.CaptureLogCount;
}

}  // namespace

void RemoveCaptures(BoardContext& board, int moveNumber, PointIndex p) {
  MainState& state = board.state;
  // Only a stone captures (see CapturesOf); nothing else reads the rows.
  if (!IsOnBoard(p)) return;
  const int own = std::abs(state.Board[p]);
  if (own != kBlack && own != kWhite) return;
  const bool editing = state.EditCount > 0;
  const bool rowsOpen = board.RowsOpen();
  const int tnb = rowsOpen ? board.rows->Tnb() : 0;
  const int t = rowsOpen && !editing ? board.rows->Tes() : moveNumber;

  const Captures taken = CapturesOf(state, p);
  // Only the stone-number scan moves the rows; a stone that takes nothing
  // leaves them where they are and costs no search for its row (drawing a
  // problem's rows stays linear in their number).
  bool scanned = false;
  for (PointIndex r : taken.Points) {
    ClearPoint(board.screen, r);
    state.Board[r] = kEmpty;
    CaptureRecord record{.MoveKey = t, .StoneNumber = 0, .Colour = taken.Colour,
                         .Point = r};
    if (editing) {
      record.MoveKey = state.EditCount;
      record.StoneNumber = moveNumber;
    } else if (rowsOpen) {
      record.StoneNumber = ScanStoneNumber(*board.rows, t, r);
      scanned = true;
    }
    AppendRecord(state, record);
  }
  if (scanned) board.rows->LocateTnb(tnb);
}

void RestoreCaptures(BoardContext& board, int key, bool withNumbers) {
  MainState& state = board.state;
  for (int slot = 1; slot <= kCaptureLogSlots; ++slot) {
    CaptureRecord& record = state.CaptureLog[slot];
    // A free slot never matches, not even key 0 (base-diagram captures).
    if (record.IsFree() || record.MoveKey != key) continue;
    const CaptureRecord r = record;
    state.ColourToPlay = r.Colour;
    state.Board[r.Point] = r.Colour;
    record = CaptureRecord{};
    --state.CaptureLogCount;
    DrawStonePicture(board.screen, r.Point, r.Colour);
    if (withNumbers && r.StoneNumber > 0) {
      Cell& cell = board.screen.cells[r.Point];
      cell.text = std::to_string(r.StoneNumber);
      cell.colour = r.Colour == kBlack ? kWhiteText : kBlackText;
    }
  }
}

}  // namespace sorabeku
