#include "library/sgf_exchange.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "library/problem_export.h"
#include "library/problem_store.h"
#include "library/sgf_writer.h"

namespace sorabeku {

std::vector<int> ProblemsOfSections(ProblemQueries& queries, std::optional<int> section) {
  std::vector<int> numbers;
  for (int s = 1; s <= 3; ++s) {
    if (section && *section != s) continue;
    for (int n : ListSection(queries, s)) numbers.push_back(n);
  }
  return numbers;
}

SgfExport ExportProblems(ProblemQueries& queries, const std::vector<int>& numbers,
                         const ExchangeProgress& progress) {
  SgfExport result;
  SgfCollection trees;
  for (int n : numbers) {
    std::optional<ProblemRecord> p = ReadProblem(queries, n);
    if (!p) throw std::runtime_error("problem " + std::to_string(n) + " is not in the library");
    ExportedTree t = ProblemToTree(*p);
    if (t.leftOut > 0) {
      result.notes.push_back("problem " + std::to_string(n) + ": " + std::to_string(t.leftOut) +
                             " rows that no line reaches were left out");
    }
    trees.push_back(std::move(t.root));
    if (progress) progress(static_cast<int>(trees.size()), static_cast<int>(numbers.size()));
  }
  result.problems = static_cast<int>(trees.size());
  result.text = WriteSgf(trees);
  return result;
}

ImportResult ImportIntoLibrary(ProblemQueries& queries, std::string_view text,
                               const ImportOptions& options, const ExchangeProgress& progress) {
  ImportResult result = ImportSgf(text, options);
  const int total = static_cast<int>(result.problems.size());
  if (progress) progress(0, total);
  AppendProblems(queries, result.problems, [&](int done) {
    if (progress) progress(done, total);
  });
  return result;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream text;
  if (f) text << f.rdbuf();
  if (!f || f.bad()) throw std::runtime_error("cannot read " + path);
  return text.str();
}

void WriteWholeFile(const std::string& path, std::string_view text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace sorabeku
