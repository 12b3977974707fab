// Defining the indexes of a table in its index file header: the primary
// index, secondary indexes added and removed, with the checks and error
// codes of each. The trees of the changed header are bound afterwards
// (TIndexFile::BindTrees).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/storage/index_header.h"
#include "engine/storage/record_file_format.h"

namespace kura {

// An index as its creator describes it.
struct IndexDefinition {
  std::string name{};                 // empty for the primary index
  std::vector<std::uint16_t> fields{};  // field numbers, 1-based, in key order
  bool descending = false;            // every field descending
  bool caseInsensitive = false;
  bool unique = false;                // always true for the primary index
  std::uint8_t compression = kCompressNone;
  // Kept in a private file of its own and never listed in the file's
  // header (an index the query engine adds for sorting).
  bool temporary = false;
};

// Stores the primary index in slot 0 (unique). With no fields the table has
// no primary key: the no-primary-fields flag is set and slot 0 cleared.
// Raises 9993 when a primary index is already defined (slot 0 has fields or
// the flag is set), 9487 for more than 16 fields, and what the key checks
// raise (below).
void DefinePrimaryIndex(TIndexFileHeader& h, std::span<const TFieldDescriptor> fields,
                        const IndexDefinition& def, const std::string& table);

// Adds a secondary index after the others. Raises 9487 for a 31st index or
// more than 16 fields, 10010 an empty name, 10022 a name that does not begin
// with a letter, an underscore or a character 128 ... 254, 10027 a name
// another secondary index has (trimmed, without regard to case), and what
// the key checks raise. Returns the slot.
int AddSecondaryIndex(TIndexFileHeader& h, std::span<const TFieldDescriptor> fields,
                      const IndexDefinition& def, const std::string& table);

// Removes the secondary index in `slot` (1 ... count); later slots move down
// by one. Its pages are not reclaimed (they stay in the file unused).
void RemoveSecondaryIndex(TIndexFileHeader& h, int slot);

// The slot of the secondary index named `name` (trimmed, without regard to
// case), 0 when there is none.
int FindSecondaryIndex(const TIndexFileHeader& h, const std::string& name);

// The key checks: 12292 when a field number is not a field of the table or
// names a BLOB field, 10026 when the segments take no bytes or more than
// 522.
std::uint16_t CheckedKeyLength(std::span<const TFieldDescriptor> fields,
                               const IndexDefinition& def, bool unique,
                               const std::string& table);

}  // namespace kura
