// The fuzz targets' operating system: Env::Default() is an in-memory disk,
// so that nothing an input names (a table called "../x", say) can reach the
// real file system.
#include "engine/storage/env.h"

namespace kura {

Env* Env::Default() {
  static const std::unique_ptr<Env> disk = NewMemEnv();
  return disk.get();
}

}  // namespace kura
