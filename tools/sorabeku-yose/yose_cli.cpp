#include "tools/sorabeku-yose/yose_cli.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "library/library_directory.h"
#include "library/problem_export.h"
#include "library/problem_store.h"
#include "library/sgf_parser.h"
#include "library/shift_jis_data_set.h"
#include "tools/sorabeku-yose/problem_positions.h"
#include "tools/sorabeku-yose/yose_report.h"

namespace sorabeku::tool {

const char* const kSorabekuYoseUsage =
    "usage: sorabeku-yose FILE.sgf [--json]\n"
    "       sorabeku-yose LIBRARY_DIR --problem N [--json]\n"
    "\n"
    "Judges every continuation offered at every branch point of a problem\n"
    "with the endgame solver: the first move's value (後手, 先手, 逆ヨセ or\n"
    "両先手, in points of 出入 and of 見合い), the best value and best moves\n"
    "of the position, コウ when a ko decides it, and for 手筋 and 地中\n"
    "problems (numbers 1001 and up) whether each group of the region lives\n"
    "or dies after the first move and at the end of the line.\n"
    "\n"
    "The region searched: the points of SBR in the root when given; else,\n"
    "for a counting problem, the empty points around each candidate (up to\n"
    "9); for the others the empty points enclosed with the candidates.\n"
    "A region of more than 16 empty points is refused.\n"
    "\n"
    "--json  one JSON object per problem, one per line\n"
    "\n"
    "exit status: 0 every continuation judged, 1 a file, library, line or\n"
    "region that could not be judged, 2 usage error\n";

namespace {

struct Usage {
  std::string message;
};
struct Failure {
  std::string message;
};

struct Command {
  std::string source;
  std::optional<int> problem;
  bool json = false;
};

Command ParseArgs(const std::vector<std::string>& args) {
  Command c;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      c.json = true;
    } else if (a == "--problem") {
      if (i + 1 >= args.size()) throw Usage{"--problem needs a number"};
      const std::string& v = args[++i];
      int n = 0;
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
      if (v.empty() || ec != std::errc() || ptr != v.data() + v.size() || n < 1 || n > 2999) {
        throw Usage{"--problem needs a number from 1 to 2999, not \"" + v + "\""};
      }
      c.problem = n;
    } else if (a.size() > 1 && a[0] == '-') {
      throw Usage{"unknown option " + a};
    } else if (c.source.empty()) {
      c.source = a;
    } else {
      throw Usage{"one file or library only"};
    }
  }
  if (c.source.empty()) throw Usage{"give an SGF file or a library directory"};
  return c;
}

SgfCollection ReadTrees(const Command& c) {
  if (c.problem) {
    if (!std::filesystem::is_directory(c.source)) throw Failure{c.source + " is not a directory"};
    LibraryDirectory library(c.source);
    ShiftJisQueries queries(library);
    std::optional<ProblemRecord> p = ReadProblem(queries, *c.problem);
    if (!p) throw Failure{"problem " + std::to_string(*c.problem) + " is not in the library"};
    return {ProblemToTree(*p).root};
  }
  std::ifstream in(c.source, std::ios::binary);
  if (!in) throw Failure{"cannot read " + c.source};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseSgf(text.str());
}

}  // namespace

int RunSorabekuYose(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      out << kSorabekuYoseUsage;
      return 0;
    }
  }
  try {
    const Command c = ParseArgs(args);
    bool errors = false;
    for (const SgfNode& root : ReadTrees(c)) {
      const nlohmann::json report = ReportProblem(root);
      errors = errors || HasErrors(report);
      out << (c.json ? report.dump() + "\n" : ReportText(report));
    }
    return errors ? 1 : 0;
  } catch (const Usage& u) {
    err << "sorabeku-yose: " << u.message << "\n" << kSorabekuYoseUsage;
    return 2;
  } catch (const Failure& f) {
    err << "sorabeku-yose: " << f.message << "\n";
  } catch (const std::exception& e) {
    // SGF that does not parse, a line the solver's capture rule refuses,
    // a library the engine cannot read.
    err << "sorabeku-yose: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace sorabeku::tool
