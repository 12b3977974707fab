// The page cache of one index: decoded TPage objects over a file of 4096-byte
// pages. The four most recently used pages are checked first, then a list
// sorted by page number; after an update the dirty pages are written in runs
// of consecutive page numbers and at most two unused pages stay cached.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/index_page.h"
#include "engine/storage/index_tree.h"

namespace kura {

// Whole-page access to an index file (page n at n × 4096; page 0 is the
// header and is never read here).
class PageFile {
 public:
  virtual ~PageFile() = default;
  // Reads page n (1 ... NextPageNumber() - 1) into dst[0, 4096).
  virtual void ReadPage(std::int32_t n, std::uint8_t* dst) = 0;
  // Writes `count` consecutive pages from `first` in one write.
  virtual void WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) = 0;
  // The number the next appended page gets.
  virtual std::int32_t NextPageNumber() const = 0;
  // Takes the next page number for a new page; raises 9479 when the file
  // would hold more than 2 000 000 000 pages or 4 000 000 000 bytes.
  virtual std::int32_t AppendPage() = 0;
};

// Pages held in memory; what tests and benchmarks use in place of a file.
class MemoryPageFile : public PageFile {
 public:
  void ReadPage(std::int32_t n, std::uint8_t* dst) override;
  void WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) override;
  std::int32_t NextPageNumber() const override { return next_; }
  std::int32_t AppendPage() override;

  // The stored image of page n (for corruption tests); n must exist.
  std::uint8_t* Image(std::int32_t n) { return pages_[std::size_t(n - 1)].data(); }
  std::size_t Writes() const { return writes_; }

 private:
  std::vector<std::array<std::uint8_t, kPageBytes>> pages_;
  std::int32_t next_ = 1;
  std::size_t writes_ = 0;
};

// Raises 9479 when a file whose next page number is `next` may not grow by
// one more page.
void CheckPageLimit(std::int32_t next, const std::string& table);

// Writes the dirty pages among `pages` in runs of consecutive page numbers
// and marks them clean.
void WritePageRuns(std::vector<TPage*> pages, PageFile& file);

class TPageCache : public IndexPageStore {
 public:
  // `shape` and `file` must outlive the cache; `table` names the table in
  // errors.
  TPageCache(const PageShape& shape, PageFile& file, std::string table);

  // IndexPageStore: Fetch raises 8965 for a page number outside the file
  // or a damaged page.
  TPage& Fetch(std::int32_t n) override;
  TPage& Append() override;
  TPage* Cached(std::int32_t n) override;

  // Adds the cached dirty pages to `out`.
  void CollectDirty(std::vector<TPage*>& out) const;
  // Writes the dirty pages (in runs) and trims the cache to `keepUnused`
  // unused pages, the most recently used ones.
  void EndUpdate(std::size_t keepUnused = 2);
  void Trim(std::size_t keepUnused);
  // Forgets every cached page, dirty or not (after another user changed the
  // file, or when the index file is emptied).
  void DropAll();
  std::size_t Size() const { return pages_.size(); }

 private:
  TPage& Take(std::int32_t n);  // a page object from the pool
  void Touch(TPage& page);
  void Forget(TPage& page);

  const PageShape& shape_;
  PageFile& file_;
  std::string table_;
  std::vector<std::unique_ptr<TPage>> pages_;  // sorted by page number
  std::array<TPage*, 4> recent_{};             // most recent first
  std::vector<std::unique_ptr<TPage>> spare_;  // pool of page objects
  std::uint64_t tick_ = 0;
};

}  // namespace kura
