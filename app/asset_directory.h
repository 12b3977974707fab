// Where the program's pictures, sounds and help file are: beside the
// executable in a build folder, or under share/sorabeku of the prefix it is
// installed in.
#pragma once

#include <string>

namespace sorabeku {

// A file every complete asset directory holds.
inline constexpr const char* kAssetProbe = "stB.bmp";

// The asset directory for an executable in `exeDir`, ending in '/': the
// first of `exeDir`, `exeDir/../share/sorabeku` (bin/) and
// `exeDir/../../share/sorabeku` (libexec/sorabeku/) that holds the probe
// file; `exeDir` itself when none does, so that a missing picture is
// reported under the program's own folder.
std::string AssetDirectoryFor(const std::string& exeDir);

}  // namespace sorabeku
