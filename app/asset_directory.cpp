#include "app/asset_directory.h"

#include <filesystem>
#include <system_error>

namespace sorabeku {

std::string AssetDirectoryFor(const std::string& exeDir) {
  namespace fs = std::filesystem;
  const fs::path exe(exeDir);
  const fs::path candidates[] = {exe, exe / ".." / "share" / "sorabeku",
                                 exe / ".." / ".." / "share" / "sorabeku"};
  for (const fs::path& dir : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(dir / kAssetProbe, ec)) {
      return fs::weakly_canonical(dir, ec).string() + "/";
    }
  }
  std::string dir = exeDir;
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace sorabeku
