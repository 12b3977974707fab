// The sort of a result table in place: its record slots are rewritten from
// the first slot in key order, with duplicate removal, grouping and a row
// limit, and renumbered so that output row k is record k with row id k.
// The records are sorted in memory when every slot is in the record cache,
// otherwise in runs written to temporary run files in the session's private
// directory and merged back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/record_file_format.h"
#include "engine/storage/storage_session.h"

namespace kura {

class TDataTable;

// One sort field: a copy of the table's field descriptor and its direction.
struct SortField {
  TFieldDescriptor field;
  bool descending = false;
};

inline constexpr std::size_t kMaxSortFields = 1024;

enum class AggregateMode {
  kBegin,       // `record` starts a new group; it will become the output row
  kAccumulate,  // `record` belongs to the group of `outputRow`
};

struct SortOptions {
  // Stop after this many output rows; negative means no limit.
  std::int64_t rowLimit = -1;
  // String segments are upper-cased with the table's locale before they
  // are compared.
  bool caseInsensitive = false;
  // Drop a record whose key equals the previous record's key.
  bool distinct = false;
  // Collapse consecutive records with equal keys into one output row
  // through the callbacks below (`aggregate` is required).
  bool grouping = false;
  // kBegin: (record, nullptr), the record may be changed and is then
  // output as the group's row; kAccumulate: (record, outputRow).
  std::function<void(AggregateMode, std::uint8_t* record, std::uint8_t* outputRow)> aggregate;
  // Called with a group's output row once the group is complete.
  std::function<void(std::uint8_t* outputRow)> groupEnd;
  // Asked about a complete group's output row; false withdraws the row.
  std::function<bool(const std::uint8_t* outputRow)> keep;
};

// What a sort did, for tests and callers that report counts.
struct SortResult {
  bool inMemory = false;
  std::int32_t runFiles = 0;
  std::int32_t outputRows = 0;
};

// Sorts `table` by `fields` (at most 1024, in order of significance) with
// `options`. Raises 10253 when the table is not held exclusively. Does
// nothing when the table has a primary key or secondary indexes: only
// result tables, which have neither, are sorted. Errors of reading and
// writing the data file and the run files keep their codes; the run files
// are deleted on every path. `session` supplies the cache limits and the
// private directory (it is the session the table was opened in).
SortResult SortTable(TDataSession& session, TDataTable& table,
                     const std::vector<SortField>& fields, const SortOptions& options);

// The directory where the session's temporary tables and run files go:
// the session's work directory (TDataSession::WorkDirectory), ending in a
// path separator.
std::string PrivateDirectoryOf(TDataSession& session);

}  // namespace kura
