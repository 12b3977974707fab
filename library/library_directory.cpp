#include "library/library_directory.h"

#include <atomic>
#include <filesystem>

#include "engine/component/kura_session.h"

namespace sorabeku {

namespace {

std::string NewSession(const std::string& directory) {
  static std::atomic<int> counter{0};
  std::string name = "LibraryDirectory" + std::to_string(++counter);
  kura::TKuraSession& session = kura::Sessions().AddSession(name);
  session.privateDir = std::filesystem::temp_directory_path().string();
  session.AddDatabase(kLibraryDatabase).SetDirectory(directory);
  return name;
}

}  // namespace

LibraryDirectory::LibraryDirectory(const std::string& directory)
    : sessionName_(NewSession(directory)),
      module_(std::make_unique<TDataModule1>(sessionName_)) {
  control_.SetSessionName(sessionName_);
  control_.SetDatabaseName(kLibraryDatabase);
}

LibraryDirectory::~LibraryDirectory() {
  try {
    control_.UnPrepare();  // lets go of the database before the session does
    module_.reset();
    kura::TKuraSession& session = kura::Sessions().SessionByName(sessionName_);
    session.SetActive(false);  // writes back and closes the tables
  } catch (...) {
    // Going away: nothing more can be done about a failing close.
  }
}

void LibraryDirectory::Run(const char* statement) {
  control_.SetSQL({statement});
  control_.ExecSQL();
}

}  // namespace sorabeku
