// TIndexFile: the index file (.IDX) of a table. This part holds the
// 4096-byte header (index definitions, active record count, change counter)
// and the page I/O beneath the B+-trees; the trees and their page cache
// build on the page I/O seam below. Not thread-safe by itself.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/storage/file_handler.h"
#include "engine/storage/index_header.h"
#include "engine/storage/shared_page_read.h"
#include "engine/storage/storage_session.h"

namespace kura {

class TIndexTrees;

class TIndexFile {
 public:
  TIndexFile(TDataSession& session, std::string path, std::string table,
             const FileOpenMode& mode);
  ~TIndexFile();

  // Creates the file with header `h` (see NewIndexHeader), written at once
  // with its change counter incremented. Leaves it open.
  void Create(const TIndexFileHeader& h);
  // Opens the file and reads the header: 12035 a version other than 5,
  // 8961 more than 32 secondary indexes or a file shorter than its header.
  void Open();
  // First-open verification against the data file's fields (8961).
  void Verify(std::span<const TFieldDescriptor> fields);
  void Close();
  bool IsOpen() const { return handler_.IsOpen(); }
  TFileHandler& Handler() { return handler_; }

  // ---- header ----
  const TIndexFileHeader& Header() const { return header_; }
  // For changes of the definitions; the caller marks the header changed.
  TIndexFileHeader& MutableHeader() { return header_; }
  bool HeaderChanged() const { return headerChanged_; }
  void MarkHeaderChanged() { headerChanged_ = true; }
  // False when the primary index has no fields (no primary key): the data
  // file then treats its free record chain as empty.
  bool HasPrimaryFields() const { return header_.noPrimaryFields == 0; }
  std::int32_t ActiveRecordCount() const { return header_.activeRecordCount; }
  // Adds `delta` to the active record count and marks the header changed.
  void AdjustActiveRecordCount(std::int32_t delta);
  void SetActiveRecordCount(std::int32_t count);

  // Reads the header; when its change counter differs from the cached one,
  // takes it, drops the page cache and returns true.
  bool CheckChanged();
  // The change counter as the file holds it now (nothing is taken in).
  std::int32_t StoredChangeCounter();
  void ReloadHeader();
  // Writes the header when marked changed or `force` (change counter + 1).
  bool WriteHeader(bool force = false);
  void CountChangeInMemory();

  // ---- page I/O seam for the trees ----
  // Reads page n (1 ... next page number - 1) whole; 8965 outside the file,
  // 9217 a short read. With a shared read set, the read goes through it.
  void ReadPage(std::int32_t n, std::uint8_t* page);
  // The table's check for pages read on a cache miss (nullptr: none).
  void SetSharedRead(SharedPageRead* shared) { sharedRead_ = shared; }
  // Writes `count` consecutive pages starting at page `first`.
  void WritePages(std::int32_t first, const std::uint8_t* pages, std::int32_t count);
  // The number of a new page at the end of the file; 9479 when the file is
  // full. Marks the header changed.
  std::int32_t AppendPage();
  // The page caches: write dirty pages in runs of consecutive page
  // numbers (true when any were written), drop every cached page, trim
  // each index to its unused-page limit.
  bool WriteDirtyPages();
  void DropPageCache();
  void TrimPageCache();

  // ---- the trees ----
  // Builds the trees of the indexes in use from the header, the table's
  // fields and its locale (15878 when not installed, 8961 when a
  // descriptor does not fit the fields). Again after the definitions
  // change.
  void BindTrees(std::span<const TFieldDescriptor> fields, std::int16_t languageId,
                 std::int16_t sortId);
  // The trees and the index maintenance; BindTrees must have been called.
  TIndexTrees& Trees() { return *trees_; }
  bool TreesBound() const;

  // Dirty pages and the header; flushes when anything was written and
  // `flush`. True when anything was written.
  bool WriteBack(bool flush);
  void DropCache() { DropPageCache(); }
  // Truncates to the header; no pages, no active records, every index
  // empty; header marked changed.
  void Empty();

 private:
  std::uint64_t PageOffset(std::int32_t n) const {
    return static_cast<std::uint64_t>(n) * kIndexPageSize;
  }

  TDataSession& session_;
  std::string table_;
  TFileHandler handler_;
  TIndexFileHeader header_;
  bool headerChanged_ = false;
  std::unique_ptr<TIndexTrees> trees_;
  SharedPageRead* sharedRead_ = nullptr;
};

}  // namespace kura
