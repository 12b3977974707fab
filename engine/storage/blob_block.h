// The header at the start of every block of a BLOB file (.BLB): the byte
// offsets of its fields. The BLOB file reads and writes blocks through
// them; verify and repair read the same fields of blocks they load raw.
#pragma once

#include <cstddef>

#include "engine/storage/file_format.h"

namespace kura {

// Block header, 18 bytes at the start of every block, little-endian.
//   offset size  meaning
//        0    4  previous block of the same value (0 in the first block)
//        4    4  next block of the same value (0 in the last); in a free
//                block the next block of the free chain
//        8    2  data bytes used in this block
//       10    4  BLOB serial of the value the block belongs to
//       14    4  total length of the value (first block only; else 0)
//       18  ...  data, block size - 18 bytes; unused bytes are zero
inline constexpr std::size_t kBlockPrev = 0;
inline constexpr std::size_t kBlockNext = 4;
inline constexpr std::size_t kBlockUsed = 8;
inline constexpr std::size_t kBlockSerial = 10;
inline constexpr std::size_t kBlockTotal = 14;
static_assert(kBlockTotal + 4 == kBlobBlockHeaderSize);

}  // namespace kura
