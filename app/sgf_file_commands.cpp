#include "app/sgf_file_commands.h"

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "library/library_directory.h"
#include "library/problem_store.h"
#include "library/sgf_exchange.h"
#include "library/sgf_parser.h"
#include "library/shift_jis_data_set.h"

namespace sorabeku {
namespace {

// Ends the progress display however the work ends.
class ProgressScope {
 public:
  ProgressScope(ProgressService& progress, const std::string& text) : progress_(progress) {
    progress_.Begin(text);
  }
  ~ProgressScope() { progress_.End(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  ExchangeProgress callback() {
    return [this](int done, int total) { progress_.Step(done, total); };
  }

 private:
  ProgressService& progress_;
};

std::string WithNotes(std::string text, const std::vector<std::string>& notes) {
  for (const std::string& note : notes) text += "\n" + note;
  return text;
}

}  // namespace

SgfFileCommands::SgfFileCommands(MainForm& form, std::string libraryDir,
                                 ProgressService& progress)
    : form_(form), libraryDir_(std::move(libraryDir)), progress_(progress) {}

bool SgfFileCommands::RequireLibrary() {
  if (!libraryDir_.empty()) return true;
  form_.services().messages->Error(kSgfNoLibrary);
  return false;
}

void SgfFileCommands::Import(const std::string& path) {
  if (!RequireLibrary()) return;
  ImportResult result;
  try {
    const std::string text = ReadWholeFile(path);
    LibraryDirectory library(libraryDir_);
    ShiftJisQueries queries(library);
    ProgressScope progress(progress_, "SGFを読み込んでいます…");
    result = ImportIntoLibrary(queries, text, {}, progress.callback());
  } catch (const std::exception& e) {
    // Refusals are found before the first write, and a failed write rolls
    // the whole file back: in every case nothing was stored.
    form_.services().messages->Error(std::string(kSgfRefused) + "\n" + path + ": " + e.what());
    return;
  }
  std::string numbers;
  for (const ProblemRecord& p : result.problems) {
    numbers += (numbers.empty() ? "" : "、") + std::to_string(p.number);
  }
  if (!result.problems.empty()) ShowSection(SectionOf(result.problems.front().number));
  form_.services().messages->Information(WithNotes(
      "SGFから" + std::to_string(result.problems.size()) + "問を読み込みました（" + numbers + "）。",
      result.notes));
}

void SgfFileCommands::ShowSection(int section) {
  switch (section) {
    case 1: form_.N3Click(); break;
    case 2: form_.N4Click(); break;
    case 3: form_.N5Click(); break;
    default: break;
  }
}

void SgfFileCommands::Export(ExportScope scope, const std::string& path) {
  if (!RequireLibrary()) return;
  if (scope == ExportScope::kProblem && form_.state.CurrentProblem == 0) {
    form_.services().messages->Error(kSgfNoProblem);
    return;
  }
  SgfExport exported;
  try {
    LibraryDirectory library(libraryDir_);
    ShiftJisQueries queries(library);
    std::vector<int> numbers;
    if (scope == ExportScope::kProblem) {
      numbers.push_back(form_.state.CurrentProblem);
    } else {
      numbers = ProblemsOfSections(queries, scope == ExportScope::kSection
                                                ? std::optional<int>(form_.state.CurrentSection)
                                                : std::nullopt);
    }
    if (numbers.empty()) {
      form_.services().messages->Error(kSgfNothingToExport);
      return;
    }
    ProgressScope progress(progress_, "SGFに書き出しています…");
    exported = ExportProblems(queries, numbers, progress.callback());
    WriteWholeFile(path, exported.text);
  } catch (const std::exception& e) {
    form_.services().messages->Error("SGFに書き出せませんでした。\n" + std::string(e.what()));
    return;
  }
  form_.services().messages->Information(WithNotes(
      std::to_string(exported.problems) + "問をSGFに書き出しました: " + path, exported.notes));
}

}  // namespace sorabeku
