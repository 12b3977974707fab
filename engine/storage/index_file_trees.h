// TIndexTrees: the B+-trees of one index file, one per slot in use (primary,
// secondary indexes, "Sys Deleted"), with their key orders, page caches and
// the index maintenance for the data file's inserts, deletes and updates.
// "Sys Text" is kept as it is found (its pages and descriptor are never
// changed). Owned by TIndexFile; not thread-safe by itself.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/storage/file_format.h"
#include "engine/storage/index_key.h"
#include "engine/storage/index_page_cache.h"
#include "engine/storage/index_tree.h"
#include "engine/storage/record_file_format.h"

namespace kura {

class TDataFile;
class TDataSession;
class TIndexFile;
class TTempIndexFile;

class TIndexTrees {
 public:
  // `file` and `session` must outlive the trees. The session gives the
  // cache limit (unused pages kept per index after an update) and the
  // private directory of temporary indexes.
  TIndexTrees(TIndexFile& file, std::string table, TDataSession& session);
  ~TIndexTrees();

  // Builds the key order, page shape, cache and tree of every slot in use
  // from the header's descriptors, the table's fields and its locale. Call
  // after opening or creating the file and after the definitions change.
  // A temporary index keeps its pages in a private file of its own,
  // created here and kept across later calls while the index exists.
  // 15878 when the locale is not installed; 8961 when a descriptor's key
  // length does not match its fields.
  void Bind(std::span<const TFieldDescriptor> fields, std::int16_t languageId,
            std::int16_t sortId);
  bool Bound() const { return bound_; }

  // True when the keys of `slot` are kept: the primary index when it has
  // fields, the secondary indexes in use, "Sys Deleted".
  bool Maintained(int slot) const;
  // The tree of a maintained slot, with its roots taken from the header,
  // for reading (ranks, positions, searches); changes go through the
  // maintenance calls below, which write the roots back.
  TIndexTree& Tree(int slot);
  // The key of `slot` for a record image (record header included).
  std::vector<std::uint8_t> KeyOf(int slot, const std::uint8_t* image, std::int32_t rowId) const;

  // ---- index maintenance (under the table's write lock) ----
  // Before an insert, before anything changes: 9729 when a unique index
  // already holds the new record's key, or when "Sys Deleted" holds
  // (active, rowId): a row id the cursor supplies, or one reached again
  // after the wrap, that an active record still has.
  void CheckInsert(const std::uint8_t* image, std::int32_t rowId);
  // After the record has been stored in slot `recordNo`: inserts its key
  // into every maintained index and its "Sys Deleted" entry; a reused slot's
  // old (deleted, old row id) entry is removed first.
  void InsertRecord(std::int32_t recordNo, const std::uint8_t* image,
                    std::optional<std::int32_t> reusedRowId);
  // Before the record in slot `recordNo` is deleted: removes its keys and
  // turns its "Sys Deleted" entry from active to deleted.
  void DeleteRecord(std::int32_t recordNo, const std::uint8_t* image);
  // 9729 when a unique index whose key the update changes already holds the
  // new key; nothing changes.
  void CheckUpdate(const std::uint8_t* oldImage, const std::uint8_t* newImage);
  // Replaces the keys that the update changes.
  void UpdateRecord(std::int32_t recordNo, const std::uint8_t* oldImage,
                    const std::uint8_t* newImage);
  // Fills the empty index in `slot` (after AddSecondaryIndex and Bind) with
  // the keys of the active records of `data`; 9729 when a unique index
  // meets a key twice (the entries inserted so far stay; remove the index).
  void BuildIndex(int slot, TDataFile& data);
  // For an index file created afresh: one "Sys Deleted" entry per slot of
  // the data file. Returns the number of active records.
  std::int32_t RebuildSysDeleted(TDataFile& data);

  // ---- page cache (the index file's hooks) ----
  // Writes every slot's dirty pages in runs; true when any were written.
  bool WriteDirtyPages();
  // Forgets every cached page of the index file (temporary indexes keep
  // theirs: no other user sees them).
  void DropPageCache();
  void TrimPageCache();

  // Deletes the files of the temporary indexes (when the index file closes).
  void CloseTemporary();

  // Structural check of every index and free chain (no page reachable
  // twice in the whole file) and, with `data`, agreement of every
  // maintained index and of the active record count with the data file.
  std::vector<std::string> Check(TDataFile* data);

 private:
  struct Slot;
  class FilePages;

  Slot& At(int slot);
  void LoadRoots();
  // Copies the roots of the trees into the header's descriptors.
  void StoreRoots();
  std::string IndexName(int slot) const;
  std::string IndexNameBound(int slot) const;  // as it was when bound

  TIndexFile& file_;
  std::string table_;
  TDataSession& session_;
  std::size_t keepUnused_;
  std::unique_ptr<FilePages> pages_;
  std::array<std::unique_ptr<Slot>, kIndexSlotCount> slots_;
  std::vector<int> inUse_;  // the numbers of the slots bound, ascending
  bool bound_ = false;
};

}  // namespace kura
