// The change counter that opens the header of each of a table's files
// (.DAT, .IDX, .BLB): 4 bytes at offset 0, little-endian, signed, counted up
// on every header write. A process that keeps a header in memory compares
// its counter with the file's to learn whether another one has written.
#pragma once

#include <cstdint>

#include "engine/storage/coding.h"
#include "engine/storage/file_handler.h"

namespace kura {

inline constexpr std::size_t kChangeCounterOffset = 0;

// The change counter as the file holds it now; throws what the read throws.
inline std::int32_t ReadChangeCounter(TFileHandler& handler) {
  std::uint8_t counter[4];
  handler.ReadExact(kChangeCounterOffset, counter, sizeof counter);
  return GetInt32LE(counter);
}

}  // namespace kura
