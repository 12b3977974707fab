// Helpers shared by the storage tests: a scratch directory on disk, table
// definitions, and reading a whole file.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/index_header.h"
#include "engine/storage/record_file_checks.h"

namespace kura::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kura-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    for (const auto& e : std::filesystem::directory_iterator(path_, ec)) {
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, ec);
    }
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Two integers and a string of declared size 20: record length 41.
inline DataFileDefinition TwoIntsAndString() {
  DataFileDefinition def;
  def.fields = {MakeField(1, "A", kFieldInteger), MakeField(2, "B", kFieldInteger),
                MakeField(3, "S", kFieldString, 20)};
  return def;
}

// An index header for a table without primary-key fields.
inline TIndexFileHeader NoKeyIndex() {
  TIndexFileHeader h = NewIndexHeader();
  h.noPrimaryFields = 1;
  return h;
}

// The error code `fn` raises, 0 when it raises nothing.
template <typename Fn>
ErrorCode CodeOf(Fn&& fn) {
  try {
    fn();
  } catch (const EKuraEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace kura::testing
