// The work behind the menu ファイル: an SGF file read into the problem
// library, and problems of the library written as SGF, through the same
// library code as the `kura-sgf` tool. Plain C++; the Qt menu chooses the
// file and calls these inside one of the window's events.
#pragma once

#include <string>

#include "main_form/main_form.h"

namespace sorabeku {

// A bar for long work; the Qt window shows a progress dialog when the work
// lasts, tests record the calls.
class ProgressService {
 public:
  virtual ~ProgressService() = default;
  // Work described by `text` begins; its size is not known yet.
  virtual void Begin(const std::string& text) = 0;
  // `done` of `total` steps are done.
  virtual void Step(int done, int total) = 0;
  // The work is over (also when it failed).
  virtual void End() = 0;
};

enum class ExportScope { kProblem, kSection, kAll };

inline constexpr const char* kSgfNoLibrary =
    "問題集が開かれていないので、SGFを読み書きできません。";
inline constexpr const char* kSgfNoProblem = "書き出す問題が選ばれていません。";
inline constexpr const char* kSgfNothingToExport = "書き出す問題がありません。";
inline constexpr const char* kSgfRefused =
    "SGFファイルを読み込めませんでした。問題集は変わっていません。";

class SgfFileCommands {
 public:
  // `form` and `progress` must outlive this; `libraryDir` is the library
  // directory, empty when the program has none.
  SgfFileCommands(MainForm& form, std::string libraryDir, ProgressService& progress);

  // Appends every problem of the SGF file at `path`, all or none. The
  // report (problems stored, the importer's notes) goes to an information
  // box and the contents show the section of the first problem; a refused
  // file goes to the error box with its place, and the library is left as
  // it was.
  void Import(const std::string& path);

  // Writes the loaded problem, the problems of the current section, or
  // every problem to `path`; the report goes to an information box, a
  // failure to the error box.
  void Export(ExportScope scope, const std::string& path);

 private:
  bool RequireLibrary();
  void ShowSection(int section);

  MainForm& form_;
  std::string libraryDir_;
  ProgressService& progress_;
};

}  // namespace sorabeku
