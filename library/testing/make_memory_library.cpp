// The in-memory backend of the portable library tests.
#include "library/testing/memory_library.h"

namespace sorabeku::testing {

std::unique_ptr<TestLibrary> MakeTestLibrary() {
  return std::make_unique<MemoryLibrary>();
}

}  // namespace sorabeku::testing
