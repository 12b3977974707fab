#include "app/asset_directory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace sorabeku {
namespace {

namespace fs = std::filesystem;

class AssetDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("assets-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "libexec" / "sorabeku");
    fs::create_directories(root_ / "share" / "sorabeku");
  }
  void TearDown() override { fs::remove_all(root_); }
  void Probe(const fs::path& dir) { std::ofstream(dir / kAssetProbe) << "x"; }
  fs::path root_;
};

TEST_F(AssetDirectoryTest, BuildFolderWinsOverAnInstalledTree) {
  Probe(root_ / "bin");
  Probe(root_ / "share" / "sorabeku");
  EXPECT_EQ(AssetDirectoryFor((root_ / "bin").string()), (root_ / "bin").string() + "/");
}

TEST_F(AssetDirectoryTest, InstalledProgramFindsShareFromBinAndLibexec) {
  Probe(root_ / "share" / "sorabeku");
  const std::string share = (root_ / "share" / "sorabeku").string() + "/";
  EXPECT_EQ(AssetDirectoryFor((root_ / "bin").string()), share);
  EXPECT_EQ(AssetDirectoryFor((root_ / "libexec" / "sorabeku").string()), share);
}

TEST_F(AssetDirectoryTest, NothingFoundKeepsTheProgramFolder) {
  EXPECT_EQ(AssetDirectoryFor((root_ / "bin").string()), (root_ / "bin").string() + "/");
}

}  // namespace
}  // namespace sorabeku
