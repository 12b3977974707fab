// The record cache of a data file: TRecord slot images kept twice, as a
// list sorted by record number (binary search) and as a recency chain
// (most recently used first), with a pool of spare objects (TRecordStack).
// Not thread-safe; the owning table serialises access.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kura {

// A slot image and its cache state. The bytes follow the object in the same
// allocation (a transaction caches every record it appends, so one
// allocation per record instead of two is felt); New() makes one.
class TRecord {
 public:
  // A record of `length` zeroed bytes.
  static std::unique_ptr<TRecord> New(std::uint32_t length);
  static void operator delete(void* p) { ::operator delete(p); }
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;

  std::int32_t Number() const { return number_; }
  std::uint8_t* Data() { return reinterpret_cast<std::uint8_t*>(this + 1); }
  const std::uint8_t* Data() const { return reinterpret_cast<const std::uint8_t*>(this + 1); }
  std::uint32_t Length() const { return length_; }

  bool dirty = false;
  int useCount = 0;  // a record in use is never evicted or refreshed

 private:
  friend class RecordCache;
  explicit TRecord(std::uint32_t length) : length_(length) {}
  std::uint32_t length_;
  std::int32_t number_ = 0;
  bool leaving_ = false;      // chosen by a trim, taken out in one sweep
  TRecord* newer_ = nullptr;  // recency chain
  TRecord* older_ = nullptr;
};

// Marks a record in use for the lifetime of the guard, so that it is
// neither evicted nor refreshed while its holder reads other records.
class RecordPin {
 public:
  explicit RecordPin(TRecord* r) : r_(r) {
    if (r_ != nullptr) ++r_->useCount;
  }
  ~RecordPin() {
    if (r_ != nullptr) --r_->useCount;
  }
  RecordPin(const RecordPin&) = delete;
  RecordPin& operator=(const RecordPin&) = delete;

 private:
  TRecord* r_;
};

// Spare TRecord objects of one length (up to 64 for records).
class TRecordStack {
 public:
  static constexpr std::size_t kCapacity = 64;
  explicit TRecordStack(std::uint32_t length, std::size_t capacity = kCapacity)
      : length_(length), capacity_(capacity) {}
  // A record with a zeroed buffer, from the pool when one is spare.
  std::unique_ptr<TRecord> Take();
  void Give(std::unique_ptr<TRecord> r);
  std::size_t Spare() const { return spare_.size(); }

 private:
  std::uint32_t length_;
  std::size_t capacity_;
  std::vector<std::unique_ptr<TRecord>> spare_;
};

class RecordCache {
 public:
  // `limit`: records kept after a trim (at least 1); `growStep`: entries
  // added when nothing can be evicted; `spares`: pool capacity. The BLOB
  // file keeps its blocks in a cache of the same kind (32 and 32).
  RecordCache(std::uint32_t recordLength, std::size_t limit,
              std::size_t growStep = 64, std::size_t spares = TRecordStack::kCapacity);
  ~RecordCache();
  RecordCache(const RecordCache&) = delete;
  RecordCache& operator=(const RecordCache&) = delete;

  // The cached record n moved to the front of the recency chain, or
  // nullptr. The four most recently used records are looked at first.
  TRecord* Find(std::int32_t n);
  // The same without touching the recency chain.
  TRecord* Peek(std::int32_t n) const;

  // A new entry for record n (which must not be cached) with a zeroed
  // buffer, at the front of the chain. When the cache is at its capacity
  // the least recently used record that is neither dirty nor in use is
  // reused; nullptr when there is none (the caller writes dirty records
  // and retries, or calls Grow).
  TRecord* TryAdd(std::int32_t n);
  // Raises the capacity by the grow step or by half, whichever is more.
  void Grow();

  // Drops record n / every record (their objects go back to the pool).
  void Remove(std::int32_t n);
  void Clear();
  // Drops clean records that are not in use from the least recently used
  // end until at most `limit` remain, and resets the capacity to it.
  void Trim();

  // Records in record-number order.
  const std::vector<TRecord*>& Sorted() const { return sorted_; }
  std::size_t Size() const { return sorted_.size(); }
  std::size_t Limit() const { return limit_; }
  std::size_t Capacity() const { return capacity_; }

 private:
  std::size_t LowerBound(std::int32_t n) const;
  void LinkFront(TRecord* r);
  void Unlink(TRecord* r);
  void Promote(TRecord* r);
  void Destroy(TRecord* r);

  TRecordStack pool_;
  std::size_t limit_;
  std::size_t capacity_;
  std::size_t growStep_;
  std::vector<TRecord*> sorted_;  // owning; sorted by number
  TRecord* newest_ = nullptr;
  TRecord* oldest_ = nullptr;
};

}  // namespace kura
