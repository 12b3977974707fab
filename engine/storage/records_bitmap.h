// TRecordsBitmap: a set of record numbers (1, 2, ...) held as bits, used for
// filter results and for the record-lock sets of a table.
//
// Record n is bit (n - 1) mod 32 of word (n - 1) div 32. The bitmap has a
// size in records; bits beyond the size are always clear. Storage grows in
// steps of 256 bytes. The bitmap also keeps the span of words that may hold
// set bits (every word outside it is zero), so that the few records of a
// filter on a large table are cleared, copied and searched without a pass
// over the whole table. A bitmap with every record set (SetAll, the active
// records of a table without deleted ones) is held as a flag alone until a
// change needs the words, so that narrowing it to the few records a filter
// collected costs what those records cost.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kura {

class TRecordsBitmap {
 public:
  explicit TRecordsBitmap(std::uint32_t sizeInRecords = 0);

  // The number of record numbers the bitmap covers (1..Size()).
  std::uint32_t Size() const { return size_; }
  // Changes the size. New records start clear; records cut off are dropped.
  void Resize(std::uint32_t sizeInRecords);

  // Record numbers outside 1..Size(): Set grows the bitmap to take n,
  // Clear does nothing, Test returns false.
  void Set(std::uint32_t n);
  void Clear(std::uint32_t n);
  bool Test(std::uint32_t n) const;

  void SetAll();
  void ClearAll();
  void InvertAll();

  // Bitwise AND / OR with `other`; records beyond other's size count as
  // clear in it. The size of this bitmap does not change.
  void IntersectWith(const TRecordsBitmap& other);
  void UniteWith(const TRecordsBitmap& other);
  // Makes this bitmap an exact copy of `other` (size and bits).
  void CopyFrom(const TRecordsBitmap& other);

  // Number of set records. Kept while known (single-bit changes adjust
  // it), counted again after a change that loses it.
  std::uint32_t Count() const;
  // Number of set records with a number below n.
  std::uint32_t CountBelow(std::uint32_t n) const;
  // The smallest set record >= n, or 0 when there is none.
  std::uint32_t NextSet(std::uint32_t n) const;
  // The largest set record <= n, or 0 when there is none.
  std::uint32_t PrevSet(std::uint32_t n) const;

  bool operator==(const TRecordsBitmap& other) const;

 private:
  static constexpr std::uint32_t kWordsPerStep = 256 / 4;
  void ClearTail();
  // Writes out the words of a full bitmap (every record set).
  void Materialize();
  // Grows the words (zeroed) to at least `words`; words beyond the last
  // one allocated hold no records.
  void EnsureWords(std::size_t words);
  std::uint32_t Word(std::size_t i) const;
  // Widens the span to take word i.
  void Include(std::size_t i);
  // Zeroes the words of the span outside [from, to) and narrows the span
  // to what remains of it there.
  void KeepOnly(std::size_t from, std::size_t to);

  std::uint32_t size_ = 0;
  std::vector<std::uint32_t> words_;  // up to the last word in use at most
  std::size_t lo_ = 0, hi_ = 0;       // words outside [lo_, hi_) are zero
  // Every record 1..size_ is set; the words are then all zero and unused.
  bool full_ = false;
  mutable std::uint32_t count_ = 0;   // the number of set records, when
  mutable bool countKnown_ = true;    // countKnown_
};

// A process-wide pool of up to 64 spare bitmaps, so that evaluating a
// condition allocates no new bitmaps in steady state. Thread-safe.
class RecordsBitmapPool {
 public:
  // A cleared bitmap of the given size, from the pool when one is spare.
  static std::unique_ptr<TRecordsBitmap> Take(std::uint32_t sizeInRecords);
  // Returns a bitmap to the pool (it is destroyed when the pool is full).
  static void Give(std::unique_ptr<TRecordsBitmap> bitmap);
  // Number of spare bitmaps held (for tests).
  static std::size_t SpareCount();
  static constexpr std::size_t kCapacity = 64;
};

// A bitmap borrowed from the pool for the lifetime of this object.
class PooledBitmap {
 public:
  explicit PooledBitmap(std::uint32_t sizeInRecords)
      : bitmap_(RecordsBitmapPool::Take(sizeInRecords)) {}
  ~PooledBitmap() { RecordsBitmapPool::Give(std::move(bitmap_)); }
  PooledBitmap(const PooledBitmap&) = delete;
  PooledBitmap& operator=(const PooledBitmap&) = delete;
  TRecordsBitmap& operator*() { return *bitmap_; }
  TRecordsBitmap* operator->() { return bitmap_.get(); }

 private:
  std::unique_ptr<TRecordsBitmap> bitmap_;
};

}  // namespace kura
