// libFuzzer target: the `kura` shell reads a fuzzed script against a small
// library (the program's two tables with a few rows) on an in-memory disk,
// laid anew for every input. The first byte chooses the output format and
// whether the shell is interactive. Only the shell's own reports may come
// out; a crash, an exception, a sanitizer report or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "engine/storage/env.h"
#include "tools/kura/kura_cli.h"

namespace {

constexpr char kDb[] = "/mem/kyozai";
constexpr char kSetUp[] =
    "CREATE TABLE figure (MNB INTEGER, TES INTEGER, COL INTEGER, PST INTEGER, BFR INTEGER,"
    " BTO INTEGER, TNB INTEGER, CMT VARCHAR(100), DIX INTEGER) LOCALE JAPANESE;\n"
    "CREATE INDEX FIGURE_MNB ON figure (MNB);\n"
    "CREATE TABLE mokuji (MNB INTEGER, SIZE INTEGER, CMT VARCHAR(100), NOTE MEMO,"
    " PRIMARY KEY (MNB)) BLOB BLOCK SIZE 64;\n"
    "INSERT INTO mokuji VALUES (1, 3, 'one', 'a memo of some length, more than a block'),"
    " (1002, 7, 'two', NULL);\n"
    "INSERT INTO figure VALUES (1, 0, 1, 61, 0, 9999, 1, 'base', 0),"
    " (1, 1, 2, 62, 1, 0, 2, 'move', 10), (1002, 0, 1, 100, 0, 9999, 1, NULL, 0);\n";

// Removes whatever the last input left and lays the library anew.
void LayLibrary() {
  kura::Env& disk = *kura::Env::Default();
  std::vector<std::string> names;
  disk.MakeDirectory(kDb);
  disk.ListDirectory(kDb, &names);
  for (const std::string& n : names) disk.Delete(std::string(kDb) + "/" + n);
  std::istringstream in;
  std::ostringstream out, err;
  if (kura::tool::RunKura({kDb, "-c", kSetUp}, in, out, err, false) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  LayLibrary();
  static const char* const kFormats[] = {"--tsv", "--csv", "--json", "--plan"};
  std::vector<std::string> args = {kDb};
  if (data[0] & 4) args.push_back(kFormats[data[0] & 3]);
  if (data[0] & 8) args.push_back("--encoding=raw");
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  std::ostringstream out, err;
  kura::tool::RunKura(args, in, out, err, (data[0] & 16) != 0);
  return 0;
}
