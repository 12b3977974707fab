// The engine backend of the portable library tests.
#include "library/testing/engine_library.h"

namespace sorabeku::testing {

std::unique_ptr<TestLibrary> MakeTestLibrary() { return std::make_unique<EngineLibrary>(); }

}  // namespace sorabeku::testing
