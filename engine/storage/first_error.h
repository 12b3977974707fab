// FirstError: runs every step of a clean-up even when earlier steps fail,
// and then reports the first failure. Used where a failed write must not
// leave locks held or files open.
#pragma once

#include <exception>

namespace kura {

class FirstError {
 public:
  // Runs `step`; a failure is remembered (the first one only) instead of
  // thrown.
  template <typename Fn>
  void Run(Fn&& step) {
    try {
      step();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }
  bool Failed() const { return first_ != nullptr; }
  // Throws the first failure remembered, if any.
  void Rethrow() {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

}  // namespace kura
