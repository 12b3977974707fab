// TTempIndexFile: the private file that holds the pages of one temporary
// index (an index the query engine adds for sorting). It is created in the
// session's private directory under a unique name (the first five digits of
// the thread id, a number, ".IDX"), numbers its pages from 1 by itself, and
// is deleted when the object goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/env.h"
#include "engine/storage/index_page_cache.h"

namespace kura {

class TTempIndexFile : public PageFile {
 public:
  // Creates the file in `directory` (the current directory when empty);
  // raises 11013 (or the code of the failing open) when it cannot.
  TTempIndexFile(Env& env, std::string directory, std::string table);
  ~TTempIndexFile() override;
  TTempIndexFile(const TTempIndexFile&) = delete;
  TTempIndexFile& operator=(const TTempIndexFile&) = delete;

  void ReadPage(std::int32_t n, std::uint8_t* dst) override;   // 9217 short read
  void WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) override;
  std::int32_t NextPageNumber() const override { return next_; }
  std::int32_t AppendPage() override;

  const std::string& Path() const { return path_; }

 private:
  Env& env_;
  std::string table_;
  std::string path_;
  std::unique_ptr<EnvFile> file_;
  std::int32_t next_ = 1;
};

}  // namespace kura
