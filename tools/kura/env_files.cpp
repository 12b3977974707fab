#include "tools/kura/env_files.h"

#include <cstring>
#include <stdexcept>

namespace kura::tool {
namespace {

[[noreturn]] void FileError(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error("kura: cannot " + what + " " + path + ": " + std::strerror(error));
}

}  // namespace

std::string ReadWholeFile(Env& env, const std::string& path) {
  std::unique_ptr<EnvFile> file;
  FileAttributes attr;
  if (env.Attributes(path, &attr) == 0 && attr.isDirectory) FileError("read", path, EISDIR);
  int error = env.Open(path, {.access = OpenAccess::kReadOnly}, &file);
  if (error != 0) FileError("read", path, error);
  std::string text;
  char chunk[65536];
  for (;;) {
    std::size_t done = 0;
    error = file->Read(text.size(), chunk, sizeof chunk, &done);
    if (error != 0) FileError("read", path, error);
    if (done == 0) return text;
    text.append(chunk, done);
  }
}

EnvOutputFile::EnvOutputFile(Env& env, const std::string& path) : std::ostream(nullptr) {
  std::unique_ptr<EnvFile> file;
  const int error = env.Open(path, {.create = true}, &file);
  if (error != 0) FileError("write", path, error);
  buffer_ = std::make_unique<Buffer>(std::move(file));
  rdbuf(buffer_.get());
}

EnvOutputFile::~EnvOutputFile() { flush(); }

EnvOutputFile::Buffer::Buffer(std::unique_ptr<EnvFile> file)
    : file_(std::move(file)), buffer_(65536) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

EnvOutputFile::Buffer::~Buffer() { Drain(); }

bool EnvOutputFile::Buffer::Drain() {
  const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
  std::size_t written = 0;
  while (written < n) {
    std::size_t done = 0;
    if (file_->Write(offset_, pbase() + written, n - written, &done) != 0 || done == 0) return false;
    written += done;
    offset_ += done;
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return true;
}

EnvOutputFile::Buffer::int_type EnvOutputFile::Buffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int EnvOutputFile::Buffer::sync() { return Drain() ? 0 : -1; }

}  // namespace kura::tool
