#include "board/captures.h"

#include <cstdlib>

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

Captures CapturesOf(const MainState& state, PointIndex p) {
  Captures taken;
  // Only a stone captures: an empty point or a mark would make its "other
  // colour" 2 / 0 or 2 / 3 and flood empty points.
  if (!IsOnBoard(p)) return taken;
  const int own = std::abs(state.Board[p]);
  if (own != kBlack && own != kWhite) return taken;

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
    if (flood.capture[r]) taken.Points.push_back(r);
  }
  if (!taken.Points.empty()) taken.Colour = opp;
  return taken;
}

}  // namespace sorabeku
