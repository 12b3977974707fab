// Reading a page of an index file that other users share, on a cache miss.
// The pages still cached may be older than the file: a page read now must
// belong to the same state of the file as they do, or a walk down the tree
// mixes two states (entries missed, keys out of order).
#pragma once

#include <exception>
#include <functional>

namespace kura {

// What carries out such a read: `read` runs while no other user can change
// the file, once the caches are known to match it. When they no longer
// match, nothing is read and TableChangedOnRead is raised instead.
class SharedPageRead {
 public:
  virtual ~SharedPageRead() = default;
  virtual void Read(const std::function<void()>& read) = 0;
};

// Raised by a shared page read that found the table changed by others. The
// pages a walk holds are left as they are (they may still be in use); the
// operation that was walking takes the changes in and starts again.
class TableChangedOnRead : public std::exception {
 public:
  const char* what() const noexcept override {
    return "the table was changed by another user while it was being read";
  }
};

}  // namespace kura
