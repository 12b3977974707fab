#include "app/program_library.h"

#include <filesystem>
#include <system_error>

#include "engine/component/kura_session.h"
#include "library/data_module.h"
#include "library/shift_jis_data_set.h"

namespace sorabeku {
namespace {

std::string AbsolutePath(const std::string& dir) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(dir, ec);
  return ec ? dir : p.lexically_normal().string();
}

// Points the database component "kyozai" of the session at `dir`.
void PlaceDatabase(const std::string& sessionName, const std::string& dir) {
  kura::TKuraSession* found = kura::Sessions().FindSession(sessionName);
  kura::TKuraSession& session =
      found ? *found : kura::Sessions().AddSession(sessionName);
  kura::TKuraDatabase* db = session.FindDatabase(kLibraryDatabase);
  if (db == nullptr) db = &session.AddDatabase(kLibraryDatabase);
  db->SetDirectory(dir);
}

}  // namespace

void RequireLibraryDirectory(const std::string& dir) {
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return;
  throw LibraryMissing("問題集のフォルダ「" + dir + "」が見つかりません。");
}

ProgramLibrary::ProgramLibrary(const std::string& libraryDir,
                               const std::string& sessionName)
    : directory_(AbsolutePath(libraryDir.empty() ? kLibraryDatabase : libraryDir)),
      sessionName_(sessionName) {
  if (!libraryDir.empty()) PlaceDatabase(sessionName, directory_);
  dataModule_ = std::make_unique<TDataModule1>(sessionName);
}

ProgramLibrary::~ProgramLibrary() {
  // The screens read the data module's results until they are gone.
  screens_.reset();
  lookup_.reset();
  lookupModule_.reset();
}

ProblemQueries& ProgramLibrary::lookup() {
  if (!lookup_) {
    lookupModule_ = std::make_unique<TDataModule1>(sessionName_);
    lookup_ = std::make_unique<ShiftJisQueries>(*lookupModule_);
  }
  return *lookup_;
}

void ProgramLibrary::Install(MainForm& form) {
  screens_.reset();
  screens_ = std::make_unique<LibraryScreens>(*dataModule_, form);
  auto open = form.hooks.openContents;
  const std::string dir = directory_;
  form.hooks.openContents = [open, dir](MainForm& f, int searchIndex) {
    RequireLibraryDirectory(dir);
    open(f, searchIndex);
  };
}

}  // namespace sorabeku
