// RepairTable: mends a table after a crash left its files out of step (a
// process killed between writing records and writing headers, or between
// the data file and the index file).
#pragma once

#include <string>
#include <vector>

#include "engine/storage/storage_session.h"

namespace kura {

struct TableRepair {
  // What was changed, one line per action; empty when nothing needed it.
  std::vector<std::string> actions;
};

// Repairs table `table` in `directory` (ending in a path separator or not):
//  1. holds the three files exclusively (10031 while another user, of this
//     process or another, has any of them open);
//  2. copies them to backup files (".DBK", ".IBK", ".BBK"), replacing older
//     backups;
//  3. data file: cuts a trailing partial record, sets the next record number
//     from the file length, the last row id and last BLOB serial to at least
//     the highest ones stored, marks a record whose status byte is neither
//     active nor deleted as deleted (readers skip it already; its bytes stay
//     in the backup), and rebuilds the free record chain when it is broken
//     or such a record was dropped;
//  4. BLOB file: cuts a trailing partial block, sets the next block number
//     from the length and rebuilds the free block chain from the blocks no
//     value of an active record uses;
//  5. index file: keeps the primary and secondary index definitions (a file
//     whose header cannot be read gets none), empties every index, then
//     fills every index and "Sys Deleted" again from the records and sets
//     the active record count (9729 when a unique index meets a key twice:
//     the backups are kept and the index file is left empty).
// Raises 11010 when the table does not exist, 12035 or 8961 when the data
// file's header or field descriptors themselves are damaged (nothing is
// changed then, apart from the backups).
TableRepair RepairTable(TDataSession& session, const std::string& directory,
                        const std::string& table);

}  // namespace kura
