#include "engine/storage/index_temp_file.h"

#include <cstdlib>

#include "engine/errors/kura_error.h"

namespace kura {

TTempIndexFile::TTempIndexFile(Env& env, std::string directory, std::string table)
    : env_(env), table_(std::move(table)) {
  if (directory.empty()) directory = env.CurrentDirectory();
  if (!directory.empty() && directory.back() != '/') directory += '/';
  std::string prefix = std::to_string(std::llabs(env.ThreadId()));
  if (prefix.size() > 5) prefix.resize(5);
  for (long n = 0;; ++n) {
    path_ = directory + prefix + std::to_string(n) + ".IDX";
    FileAttributes attr;
    if (env.Attributes(path_, &attr) != 0 || !attr.exists) break;
  }
  const int err = env.Open(path_, {.access = OpenAccess::kReadWrite, .share = ShareMode::kExclusive,
                                   .create = true, .createNew = true},
                           &file_);
  if (err != 0) RaiseWithOsError(KURA_OSEACCES, err, {.table = table_});
}

TTempIndexFile::~TTempIndexFile() {
  file_.reset();
  env_.Delete(path_);
}

void TTempIndexFile::ReadPage(std::int32_t n, std::uint8_t* dst) {
  std::size_t done = 0;
  const int err = file_->Read(std::uint64_t(n) * kPageBytes, dst, kPageBytes, &done);
  if (err != 0 || done != kPageBytes) RaiseWithOsError(KURA_READERR, err, {.table = table_});
}

void TTempIndexFile::WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) {
  std::size_t done = 0;
  const int err = file_->Write(std::uint64_t(first) * kPageBytes, src, count * kPageBytes, &done);
  if (err != 0 || done != count * kPageBytes)
    RaiseWithOsError(KURA_WRITEERR, err, {.table = table_});
}

std::int32_t TTempIndexFile::AppendPage() {
  CheckPageLimit(next_, table_);
  return next_++;
}

}  // namespace kura
