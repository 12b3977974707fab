#include "board/captures.h"

#include <cstdlib>

#include "board/board_view.h"

namespace sorabeku {
namespace {

// Working storage of one capture check.
struct Flood {
  std::array<bool, kPointCount + 1> capture{};
  std::array<bool, kPointCount + 1> visited{};
  std::array<PointIndex, kPointCount + 2> queue{};  // slots from 1
};

// Floods the group of colour `opp` holding `seed`; true when it has a
// liberty. Leaves the group's points marked in flood.visited.
bool FloodHasLiberty(const MainState& state, Flood& flood, PointIndex seed,
                     int opp) {
  flood.queue.fill(0);
  flood.visited.fill(false);
  flood.visited[seed] = true;
  flood.queue[1] = seed;
  int tail = 1;
  for (int head = 1; head <= tail; ++head) {
    for (const Neighbour& n : ComputeNeighbours(state, flood.queue[head])) {
      if (n.Code == 0) return true;
      if (n.Point > 0 && !flood.visited[n.Point] && n.Code == opp) {
        flood.visited[n.Point] = true;
        flood.queue[++tail] = n.Point;
      }
    }
  }
  return false;
}

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

std::array<Neighbour, 4> ComputeNeighbours(const MainState& state,
                                           PointIndex p) {
  const int width = state.BoardWidth;
  const auto at = [&](PointIndex q) {
    return Neighbour{std::abs(state.Board[q]), q};
  };
  std::array<Neighbour, 4> n{};
  if ((p - 1) % width > 0) n[0] = at(p - 1);
  if (p % width > 0) n[1] = at(p + 1);
  if (p - width > 0) n[2] = at(p - width);
  if (p + width <= state.PointCount) n[3] = at(p + width);
  return n;
}

void RemoveCaptures(BoardContext& board, int moveNumber, PointIndex p) {
  MainState& state = board.state;
  // Only a stone captures: an empty point or a mark would make its "other
  // colour" 2 / 0 or 2 / 3 and flood empty points.
  if (!IsOnBoard(p)) return;
  const int own = std::abs(state.Board[p]);
  if (own != kBlack && own != kWhite) return;
  const bool editing = state.EditCount > 0;
  const bool rowsOpen = board.RowsOpen();
  const int tnb = rowsOpen ? board.rows->Tnb() : 0;
  const int t = rowsOpen && !editing ? board.rows->Tes() : moveNumber;

  const int opp = OtherColour(own);
  std::array<PointIndex, 4> seeds{};
  const auto around = ComputeNeighbours(state, p);
  for (int k = 0; k < 4; ++k) {
    if (around[k].Point > 0 && around[k].Code == opp) seeds[k] = around[k].Point;
  }

  Flood flood;
  for (PointIndex seed : seeds) {
    if (seed == 0 || flood.capture[seed]) continue;
    if (FloodHasLiberty(state, flood, seed, opp)) continue;
    for (int q = 1; q <= state.PointCount; ++q) {
      if (flood.visited[q]) flood.capture[q] = true;
    }
  }

  for (PointIndex r = 1; r <= state.PointCount; ++r) {
    if (!flood.capture[r]) continue;
    ClearPoint(board.screen, r);
    state.Board[r] = kEmpty;
    CaptureRecord record{.MoveKey = t, .StoneNumber = 0, .Colour = opp,
                         .Point = r};
    if (editing) {
      record.MoveKey = state.EditCount;
      record.StoneNumber = moveNumber;
    } else if (rowsOpen) {
      record.StoneNumber = ScanStoneNumber(*board.rows, t, r);
    }
    AppendRecord(state, record);
  }
  if (rowsOpen) board.rows->LocateTnb(tnb);
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
