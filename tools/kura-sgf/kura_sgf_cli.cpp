#include "tools/kura-sgf/kura_sgf_cli.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <sstream>

#include "library/library_directory.h"
#include "library/problem_store.h"
#include "library/sgf_exchange.h"
#include "library/sgf_parser.h"
#include "library/shift_jis_data_set.h"

namespace sorabeku::tool {

const char* const kKuraSgfUsage =
    "usage: kura-sgf export LIBRARY_DIR OUT.sgf [--problem N | --section 1|2|3]\n"
    "       kura-sgf import LIBRARY_DIR IN.sgf [--number N] [--grade G]\n"
    "\n"
    "LIBRARY_DIR holds the tables figure and mokuji (made with\n"
    "`kura LIBRARY_DIR < data/kyozai.sql`). \"-\" as file name is standard\n"
    "output / input.\n"
    "\n"
    "export  writes one game tree per problem: every problem of the three\n"
    "        sections, of one section, or one problem.\n"
    "import  adds every game tree of the file as a problem, all or none.\n"
    "        --number N numbers the first problem N (the next N+1, ...) in\n"
    "        place of the file's SBN; --grade G (1-25) grades them all.\n"
    "        Texts are stored in Shift-JIS: characters it cannot hold are\n"
    "        replaced by 〓 and reported.\n"
    "\n"
    "exit status: 0 success, 1 refused or failed (nothing imported),\n"
    "2 usage error\n";

namespace {

struct Usage {
  std::string message;
};

struct Failure {
  std::string message;
};

int Number(const std::string& option, const std::string& text, int low, int high) {
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end || n < low || n > high) {
    throw Usage{option + " needs a number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not \"" + text + "\""};
  }
  return n;
}

struct Command {
  std::string verb, directory, file;
  std::optional<int> problem, section, number, grade;
};

Command ParseArgs(const std::vector<std::string>& args) {
  if (args.size() < 3) throw Usage{"export and import need a library directory and a file"};
  Command c{args[0], args[1], args[2], {}, {}, {}, {}};
  if (c.verb != "export" && c.verb != "import") throw Usage{"unknown command \"" + c.verb + "\""};
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& o = args[i];
    if (i + 1 >= args.size()) throw Usage{"option " + o + " needs a value"};
    const std::string& v = args[++i];
    if (c.verb == "export" && o == "--problem") c.problem = Number(o, v, 1, 2999);
    else if (c.verb == "export" && o == "--section") c.section = Number(o, v, 1, 3);
    else if (c.verb == "import" && o == "--number") c.number = Number(o, v, 1, 2999);
    else if (c.verb == "import" && o == "--grade") c.grade = Number(o, v, 1, 25);
    else throw Usage{"unknown option " + o + " for " + c.verb};
  }
  if (c.problem && c.section) throw Usage{"give --problem or --section, not both"};
  return c;
}

void RequireLibrary(const std::string& dir) {
  if (!std::filesystem::is_directory(dir)) throw Failure{dir + " is not a directory"};
}

int Export(const Command& c, std::ostream& out, std::ostream& err) {
  RequireLibrary(c.directory);
  LibraryDirectory library(c.directory);
  ShiftJisQueries queries(library);
  const std::vector<int> numbers =
      c.problem ? std::vector<int>{*c.problem} : ProblemsOfSections(queries, c.section);
  // A missing problem and the engine's errors end the run with their message.
  const SgfExport exported = ExportProblems(queries, numbers);
  for (const std::string& note : exported.notes) err << "kura-sgf: " << note << "\n";
  if (c.file == "-") {
    out << exported.text;
  } else {
    try {
      WriteWholeFile(c.file, exported.text);
    } catch (const std::runtime_error& e) {
      throw Failure{e.what()};
    }
  }
  err << "kura-sgf: exported " << exported.problems << " problem(s)\n";
  return kExitOk;
}

int Import(const Command& c, std::istream& in, std::ostream& out, std::ostream& err) {
  RequireLibrary(c.directory);
  std::string text;
  if (c.file == "-") {
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
  } else {
    try {
      text = ReadWholeFile(c.file);
    } catch (const std::runtime_error& e) {
      throw Failure{e.what()};
    }
  }
  LibraryDirectory library(c.directory);
  ShiftJisQueries queries(library);
  ImportResult result;
  try {
    result = ImportIntoLibrary(queries, text, {c.number, c.grade});
  } catch (const SgfError& e) {
    throw Failure{c.file + ": " + e.what() + "; nothing was imported"};
  } catch (const ProblemNotAdded& e) {
    throw Failure{e.what()};
  } catch (const std::exception& e) {
    throw Failure{std::string(e.what()) + "; the import was rolled back, nothing was imported"};
  }
  for (const std::string& note : result.notes) err << "kura-sgf: " << c.file << ": " << note << "\n";
  for (const ProblemRecord& p : result.problems) {
    out << "imported problem " << p.number << " (" << p.rows.size() << " rows)\n";
  }
  return kExitOk;
}

}  // namespace

int RunKuraSgf(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << kKuraSgfUsage;
    return kExitOk;
  }
  try {
    const Command c = ParseArgs(args);
    return c.verb == "export" ? Export(c, out, err) : Import(c, in, out, err);
  } catch (const Usage& u) {
    err << "kura-sgf: " << u.message << "\n" << kKuraSgfUsage;
    return kExitUsage;
  } catch (const Failure& f) {
    err << "kura-sgf: " << f.message << "\n";
  } catch (const std::exception& e) {
    // Engine errors carry their complete message; a failed import was
    // rolled back.
    err << "kura-sgf: " << e.what() << "\n";
  }
  return kExitFailed;
}

}  // namespace sorabeku::tool
