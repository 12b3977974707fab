#include "engine/storage/records_bitmap.h"

#include <algorithm>
#include <bit>
#include <mutex>

namespace kura {
namespace {

constexpr std::uint32_t WordsFor(std::uint32_t records) { return (records + 31) / 32; }

// Set bits of a word, without a library call on processors whose
// population count instruction the build may not assume.
inline std::uint32_t BitsIn(std::uint32_t w) {
  w = w - ((w >> 1) & 0x55555555u);
  w = (w & 0x33333333u) + ((w >> 2) & 0x33333333u);
  w = (w + (w >> 4)) & 0x0F0F0F0Fu;
  return (w * 0x01010101u) >> 24;
}

std::uint32_t BitsIn(const std::uint32_t* words, std::uint32_t n) {
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < n; ++i) count += BitsIn(words[i]);
  return count;
}

}  // namespace

TRecordsBitmap::TRecordsBitmap(std::uint32_t sizeInRecords) { Resize(sizeInRecords); }

// Words are allocated up to the last one that holds a record, not for the
// whole size: a new bitmap of a large table costs nothing until records
// are set in it.
void TRecordsBitmap::Resize(std::uint32_t sizeInRecords) {
  // New records start clear: a full bitmap that grows needs its words.
  if (full_ && sizeInRecords > size_) Materialize();
  if (full_) count_ = sizeInRecords;
  if (sizeInRecords < size_) countKnown_ = false;  // records may be cut off
  const std::size_t words = WordsFor(sizeInRecords);
  if (words_.size() > words) words_.resize(words);
  size_ = sizeInRecords;
  hi_ = std::min(hi_, words_.size());
  lo_ = std::min(lo_, hi_);
  ClearTail();
}

void TRecordsBitmap::EnsureWords(std::size_t words) {
  if (words_.size() >= words) return;
  if (words > words_.capacity()) {
    const std::size_t steps = (words + kWordsPerStep - 1) / kWordsPerStep;
    words_.reserve(std::max(steps * kWordsPerStep, words_.capacity() * 2));
  }
  words_.resize(words, 0);
}

std::uint32_t TRecordsBitmap::Word(std::size_t i) const {
  return i < words_.size() ? words_[i] : 0u;
}

void TRecordsBitmap::Materialize() {
  full_ = false;
  EnsureWords(WordsFor(size_));
  std::fill(words_.begin(), words_.end(), ~0u);
  lo_ = 0;
  hi_ = words_.size();
  ClearTail();
  count_ = size_;
  countKnown_ = true;
}

void TRecordsBitmap::Include(std::size_t i) {
  if (lo_ >= hi_) {
    lo_ = i;
    hi_ = i + 1;
    return;
  }
  lo_ = std::min(lo_, i);
  hi_ = std::max(hi_, i + 1);
}

void TRecordsBitmap::KeepOnly(std::size_t from, std::size_t to) {
  const std::size_t lo = std::max(lo_, from);
  const std::size_t hi = std::min(hi_, to);
  const auto at = [&](std::size_t i) { return words_.begin() + static_cast<std::ptrdiff_t>(i); };
  if (lo >= hi) {
    std::fill(at(lo_), at(hi_), 0u);
    lo_ = hi_ = 0;
    return;
  }
  std::fill(at(lo_), at(lo), 0u);
  std::fill(at(hi), at(hi_), 0u);
  lo_ = lo;
  hi_ = hi;
}

void TRecordsBitmap::ClearTail() {
  const std::size_t last = size_ == 0 ? 0 : (size_ - 1) / 32;
  if (size_ % 32 != 0 && last < words_.size()) {
    words_[last] &= (1u << (size_ % 32)) - 1u;
  }
}

void TRecordsBitmap::Set(std::uint32_t n) {
  if (n == 0) return;
  if (full_ && n <= size_) return;
  if (n > size_) Resize(n);
  EnsureWords((n - 1) / 32 + 1);
  Include((n - 1) / 32);
  std::uint32_t& w = words_[(n - 1) / 32];
  const std::uint32_t bit = 1u << ((n - 1) % 32);
  count_ += (w & bit) == 0;
  w |= bit;
}

void TRecordsBitmap::Clear(std::uint32_t n) {
  if (n == 0 || n > size_) return;
  if (full_) Materialize();
  if ((n - 1) / 32 >= words_.size()) return;
  std::uint32_t& w = words_[(n - 1) / 32];
  const std::uint32_t bit = 1u << ((n - 1) % 32);
  count_ -= (w & bit) != 0;
  w &= ~bit;
}

bool TRecordsBitmap::Test(std::uint32_t n) const {
  if (n == 0 || n > size_) return false;
  if (full_) return true;
  return (Word((n - 1) / 32) >> ((n - 1) % 32)) & 1u;
}

void TRecordsBitmap::SetAll() {
  KeepOnly(0, 0);
  full_ = true;
  count_ = size_;
  countKnown_ = true;
}

void TRecordsBitmap::ClearAll() {
  full_ = false;
  KeepOnly(0, 0);
  count_ = 0;
  countKnown_ = true;
}

void TRecordsBitmap::InvertAll() {
  if (full_) {
    ClearAll();
    return;
  }
  if (Count() == 0) {
    SetAll();
    return;
  }
  EnsureWords(WordsFor(size_));
  for (auto& w : words_) w = ~w;
  lo_ = 0;
  hi_ = words_.size();
  ClearTail();
  count_ = size_ - count_;
}

// When every record of `other` is also in this bitmap, the result is
// `other`, and so is its count; the usual case of narrowing a set of
// active records to the few that a filter collected.
void TRecordsBitmap::IntersectWith(const TRecordsBitmap& other) {
  if (other.full_) {
    // Only the records beyond other's size go.
    if (other.size_ >= size_) return;
    if (full_) Materialize();
    const std::uint32_t keep = other.size_;
    KeepOnly(0, (keep + 31) / 32);
    if (keep % 32 != 0 && keep / 32 < words_.size()) words_[keep / 32] &= (1u << (keep % 32)) - 1u;
    countKnown_ = false;
    return;
  }
  if (full_) {
    // The records of `other` within this size, copied.
    full_ = false;
    const std::size_t common = std::min<std::size_t>(WordsFor(size_), other.words_.size());
    const std::size_t from = std::min(other.lo_, common);
    const std::size_t to = std::min(other.hi_, common);
    EnsureWords(to);
    std::copy(other.words_.begin() + static_cast<std::ptrdiff_t>(from),
              other.words_.begin() + static_cast<std::ptrdiff_t>(to),
              words_.begin() + static_cast<std::ptrdiff_t>(from));
    lo_ = from < to ? from : 0;
    hi_ = from < to ? to : 0;
    const bool clipped = other.size_ > size_;
    ClearTail();
    count_ = other.count_;
    countKnown_ = other.countKnown_ && !clipped;
    return;
  }
  const std::size_t common = std::min(words_.size(), other.words_.size());
  const std::size_t from = std::min(other.lo_, common);
  const std::size_t to = std::min(other.hi_, common);
  std::uint32_t* mine = words_.data();
  const std::uint32_t* theirs = other.words_.data();
  std::uint32_t outside = 0;  // records of `other` that this lacks
  for (std::size_t i = from; i < to; ++i) {
    outside |= theirs[i] & ~mine[i];
    mine[i] &= theirs[i];
  }
  KeepOnly(from, to);  // `other` holds nothing outside its span
  countKnown_ = outside == 0 && other.hi_ <= common && other.countKnown_;
  count_ = other.count_;
}

void TRecordsBitmap::UniteWith(const TRecordsBitmap& other) {
  if (full_) return;
  if (other.full_) {
    if (other.size_ >= size_) {
      SetAll();
      return;
    }
    const std::uint32_t upTo = other.size_;
    for (std::uint32_t n = 1; n <= upTo; ++n) Set(n);  // fewer records than this
    countKnown_ = false;
    return;
  }
  const std::size_t common = std::min<std::size_t>(WordsFor(size_), other.words_.size());
  const std::size_t from = std::min(other.lo_, common);
  const std::size_t to = std::min(other.hi_, common);
  EnsureWords(to);
  for (std::size_t i = from; i < to; ++i) words_[i] |= other.words_[i];
  if (from < to) {
    Include(from);
    Include(to - 1);
  }
  ClearTail();
  countKnown_ = false;
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& other) {
  full_ = false;
  KeepOnly(0, 0);
  Resize(other.size_);
  if (other.full_) {
    SetAll();
    return;
  }
  EnsureWords(other.hi_);
  const auto from = static_cast<std::ptrdiff_t>(other.lo_);
  const auto to = static_cast<std::ptrdiff_t>(other.hi_);
  std::copy(other.words_.begin() + from, other.words_.begin() + to, words_.begin() + from);
  lo_ = other.lo_;
  hi_ = other.hi_;
  count_ = other.count_;
  countKnown_ = other.countKnown_;
}

std::uint32_t TRecordsBitmap::Count() const {
  if (full_) return size_;
  if (!countKnown_) {
    count_ = BitsIn(words_.data() + lo_, static_cast<std::uint32_t>(hi_ - lo_));
    countKnown_ = true;
  }
  return count_;
}

std::uint32_t TRecordsBitmap::CountBelow(std::uint32_t n) const {
  if (n <= 1) return 0;
  const std::uint32_t last = std::min(n - 1, size_);  // records 1..last count
  if (full_) return last;
  const std::uint32_t fullWords = last / 32;
  const std::size_t end = std::min<std::size_t>(fullWords, hi_);
  std::uint32_t count =
      lo_ < end ? BitsIn(words_.data() + lo_, static_cast<std::uint32_t>(end - lo_)) : 0;
  if (last % 32 != 0) {
    const std::uint32_t mask = (1u << (last % 32)) - 1u;
    count += BitsIn(Word(fullWords) & mask);
  }
  return count;
}

std::uint32_t TRecordsBitmap::NextSet(std::uint32_t n) const {
  if (n == 0) n = 1;
  if (n > size_) return 0;
  if (full_) return n;
  std::size_t index = (n - 1) / 32;
  std::uint32_t word = 0;
  if (index < lo_) {
    index = lo_;
    if (index >= hi_) return 0;
    word = words_[index];
  } else {
    if (index >= hi_) return 0;
    word = words_[index] & (~0u << ((n - 1) % 32));
  }
  while (word == 0) {  // whole empty words are skipped in one step
    if (++index >= hi_) return 0;
    word = words_[index];
  }
  return static_cast<std::uint32_t>(index) * 32 + static_cast<std::uint32_t>(std::countr_zero(word)) + 1;
}

std::uint32_t TRecordsBitmap::PrevSet(std::uint32_t n) const {
  if (n == 0 || size_ == 0) return 0;
  if (n > size_) n = size_;
  if (full_) return n;
  if (lo_ >= hi_) return 0;
  std::size_t index = (n - 1) / 32;
  const std::uint32_t bit = (n - 1) % 32;
  std::uint32_t word = 0;
  if (index >= hi_) {
    index = hi_ - 1;
    word = words_[index];
  } else {
    if (index < lo_) return 0;
    word = words_[index] & (bit == 31 ? ~0u : ((1u << (bit + 1)) - 1u));
  }
  while (word == 0) {
    if (index == lo_) return 0;
    --index;
    word = words_[index];
  }
  return static_cast<std::uint32_t>(index) * 32 + 31 -
         static_cast<std::uint32_t>(std::countl_zero(word)) + 1;
}

bool TRecordsBitmap::operator==(const TRecordsBitmap& other) const {
  if (size_ != other.size_) return false;
  if (full_ || other.full_) return Count() == other.Count();
  const std::size_t words = std::max(words_.size(), other.words_.size());
  for (std::size_t i = 0; i < words; ++i) {
    if (Word(i) != other.Word(i)) return false;
  }
  return true;
}

// ---- pool ----------------------------------------------------------------------

namespace {

struct Pool {
  std::mutex mutex;
  std::vector<std::unique_ptr<TRecordsBitmap>> spares;  // guarded by mutex
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

std::unique_ptr<TRecordsBitmap> RecordsBitmapPool::Take(std::uint32_t sizeInRecords) {
  std::unique_ptr<TRecordsBitmap> bitmap;
  {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    if (!pool.spares.empty()) {
      bitmap = std::move(pool.spares.back());
      pool.spares.pop_back();
    }
  }
  if (!bitmap) return std::make_unique<TRecordsBitmap>(sizeInRecords);
  bitmap->Resize(sizeInRecords);
  bitmap->ClearAll();
  return bitmap;
}

void RecordsBitmapPool::Give(std::unique_ptr<TRecordsBitmap> bitmap) {
  if (!bitmap) return;
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  if (pool.spares.size() < kCapacity) pool.spares.push_back(std::move(bitmap));
}

std::size_t RecordsBitmapPool::SpareCount() {
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  return pool.spares.size();
}

}  // namespace kura
