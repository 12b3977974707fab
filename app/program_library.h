// ProgramLibrary: the problem library of the running program — the data
// module over the database "kyozai" and the training and editing screens
// joined to it. The program creates it before its main window (so the
// queries exist before the window needs them) and destroys it after the
// window; the driver does the same over a library directory of its choice.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "app/library_screens.h"
#include "main_form/main_form.h"

namespace sorabeku {

class ShiftJisQueries;
class TDataModule1;

// Raised when the library directory is not there; the message names the
// directory, for the error box.
class LibraryMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ProgramLibrary {
 public:
  // With `libraryDir` empty the database "kyozai" is the directory of that
  // name below the current directory, as for the program; otherwise it is
  // `libraryDir`, whatever its name. `sessionName` selects the engine
  // session ("" the default one; another is created when it does not
  // exist). Creates the data module; nothing is
  // opened yet. Throws the component layer's error when "kyozai" of that
  // session is already open on another directory.
  explicit ProgramLibrary(const std::string& libraryDir = {},
                          const std::string& sessionName = {});
  ~ProgramLibrary();
  ProgramLibrary(const ProgramLibrary&) = delete;
  ProgramLibrary& operator=(const ProgramLibrary&) = delete;

  // Joins the screens to `form`, which must outlive this object's use of
  // it (until this is destroyed or Install is called again). Opening the
  // table of contents first checks that the library directory exists and
  // raises LibraryMissing when it does not, so the error box says that
  // rather than that a table is missing.
  void Install(MainForm& form);

  // The library directory as an absolute path.
  const std::string& directory() const { return directory_; }
  TDataModule1& dataModule() { return *dataModule_; }
  // Null before Install.
  LibraryScreens* screens() { return screens_.get(); }
  // Queries of their own over the same library (texts in UTF-8), for
  // reading problems without moving the screens' cursors; made on first
  // use.
  ProblemQueries& lookup();

 private:
  std::string directory_;
  // Held by pointer so that the window's Qt code need not see the engine's
  // headers.
  std::unique_ptr<TDataModule1> dataModule_;
  std::unique_ptr<LibraryScreens> screens_;
  std::string sessionName_;
  std::unique_ptr<TDataModule1> lookupModule_;
  std::unique_ptr<ShiftJisQueries> lookup_;
};

// Raises LibraryMissing unless `dir` is a directory.
void RequireLibraryDirectory(const std::string& dir);

}  // namespace sorabeku
