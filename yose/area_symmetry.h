// Symmetries of a local area: a turn or mirror of the board that carries
// the area's cells onto themselves and every point around them onto a
// point of the same kind (edge to edge, open to open, a wall to a wall of
// the same colour, or of the other colour when the colours are swapped).
// A position and its image then have the same value, negated when the
// colours are swapped, so a search needs only one of them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "yose/local_area.h"

namespace sorabeku::yose {

struct AreaSymmetry {
  std::vector<std::pair<int, int>> map;  // each area cell and its image
  bool swapsColours = false;
};

// The symmetries of the area other than the identity.
std::vector<AreaSymmetry> FindSymmetries(const LocalArea& area);

// The key (LocalBoard::hash) of the image of `board` under `s`.
std::uint64_t MappedHash(const LocalBoard& board, const AreaSymmetry& s);
// The image of `board` (a position of `area`) under `s`.
LocalBoard Mapped(const LocalArea& area, const LocalBoard& board, const AreaSymmetry& s);

}  // namespace sorabeku::yose
