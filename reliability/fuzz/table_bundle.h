// A table's three files in one byte string, the input of the table fuzz
// target and the form of its seeds:
//   offset size  meaning
//        0    4  length d of the data file (.DAT), little-endian
//        4    4  length i of the index file (.IDX)
//        8    4  length b of the BLOB file (.BLB); 0: the table has none
//       12    d  data file, then i bytes index file, then b bytes BLOB file
// Lengths that reach past the end are cut to what is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/coding.h"

namespace kura::fuzz {

struct TableFiles {
  std::string data, index, blob;
};

inline TableFiles SplitBundle(const std::uint8_t* p, std::size_t n) {
  TableFiles t;
  if (n < 12) return t;
  std::size_t at = 12;
  std::string* parts[] = {&t.data, &t.index, &t.blob};
  for (int k = 0; k < 3; ++k) {
    const std::size_t want = GetFixed32LE(p + 4 * k);
    const std::size_t take = want < n - at ? want : n - at;
    parts[k]->assign(reinterpret_cast<const char*>(p + at), take);
    at += take;
  }
  return t;
}

inline std::string JoinBundle(const TableFiles& t) {
  std::string out(12, '\0');
  const std::string* parts[] = {&t.data, &t.index, &t.blob};
  for (int k = 0; k < 3; ++k) {
    PutFixed32LE(reinterpret_cast<std::uint8_t*>(out.data()) + 4 * k,
                 static_cast<std::uint32_t>(parts[k]->size()));
  }
  return out + t.data + t.index + t.blob;
}

}  // namespace kura::fuzz
