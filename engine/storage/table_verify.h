// VerifyTable: every check the engine knows for one table, reported as a
// list of findings instead of raised. Used by maintenance tools after a
// crash and by tests.
#pragma once

#include <string>
#include <vector>

#include "engine/storage/storage_directory.h"

namespace kura {

struct TableVerification {
  // What is wrong, one finding per entry; empty when the table is sound.
  std::vector<std::string> problems;
  bool Ok() const { return problems.empty(); }
};

// Opens `table` of `directory` shared and read-only and checks:
//  - the verification on first open of the data, index and BLOB files (an
//    engine error there is reported as its message, and nothing else is
//    checked);
//  - the data file's slots: status bytes, row ids of active records unique
//    and not above the last row id handed out, the free record chain (in
//    range, deleted slots only, no cycle);
//  - the active record count of the index file against the active slots;
//  - every BLOB value of an active record: blocks in range, not shared with
//    another value or the free block chain, the serial of the record in
//    every block, back links, the length; and the free block chain;
//  - every index tree: its structure (page types, order, counts, links,
//    depth, free page chain, no page used twice) and its agreement with
//    the data file, "Sys Deleted" included.
// The table is closed again. Errors other than engine errors pass through.
TableVerification VerifyTable(TDataDirectory& directory, const std::string& table);

// The names of the tables of a directory: every file with the extension
// ".DAT" (any case), without the extension, sorted.
std::vector<std::string> ListTables(Env& env, const std::string& directory);

}  // namespace kura
