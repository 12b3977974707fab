// The shell's own files (.read, .import, .output) go through the engine's
// Env like the tables do, so that an in-memory disk keeps them too.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "engine/storage/env.h"

namespace kura::tool {

// The whole content of `path`; raises std::runtime_error naming the file
// when it cannot be read.
std::string ReadWholeFile(Env& env, const std::string& path);

// An output stream into a file made anew (or emptied) at `path`.
class EnvOutputFile : public std::ostream {
 public:
  // Raises std::runtime_error naming the file when it cannot be made.
  EnvOutputFile(Env& env, const std::string& path);
  ~EnvOutputFile() override;

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(std::unique_ptr<EnvFile> file);
    ~Buffer() override;

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    bool Drain();
    std::unique_ptr<EnvFile> file_;
    std::vector<char> buffer_;
    std::uint64_t offset_ = 0;
  };
  std::unique_ptr<Buffer> buffer_;
};

}  // namespace kura::tool
