#include "engine/storage/index_page.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"

namespace kura {
namespace {

[[noreturn]] void Corrupt(const char* table) {
  Raise(KURA_INDEXCORRUPT, {.table = table ? table : ""});
}

// memcpy for the short entries of leaves: keys of one or two numbers make
// entries of 8 to 16 bytes, copied by two overlapping fixed-size moves
// instead of a library call each.
inline void CopySmall(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else {
    std::memcpy(dst, src, n);
  }
}

std::size_t CommonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Zero bytes at the end of [begin, end).
std::size_t TrailingZeros(const std::uint8_t* begin, const std::uint8_t* end) {
  std::size_t n = 0;
  while (end - n > begin && end[-1 - std::ptrdiff_t(n)] == 0) ++n;
  return n;
}

// How a compressed leaf entry stores its key: L leading bytes taken from the
// previous key, T zero bytes dropped. The stored bytes are key[L, K - T)
// in a unique index; in a non-unique one with T > 0 they are
// key[L, K - 4 - T) followed by the 4-byte row-id suffix.
struct EntryForm {
  std::size_t lead = 0;
  std::size_t trail = 0;
};

EntryForm FormOf(const PageShape& s, const std::uint8_t* prev, const std::uint8_t* key) {
  const std::size_t k = s.keyLength;
  const bool useLead = s.compression == LeafCompression::kLeading ||
                       s.compression == LeafCompression::kBoth;
  const bool useTrail = s.compression == LeafCompression::kTrailing ||
                        s.compression == LeafCompression::kBoth;
  EntryForm f;
  if (useLead && prev != nullptr)
    f.lead = std::min(CommonPrefix(prev, key, k), kMaxCompressRun);
  if (useTrail) {
    // Only zero bytes after the leading part and, in a non-unique index,
    // before the row-id suffix may be dropped.
    std::size_t end = s.unique ? k : k - 4;
    if (!s.unique && k - f.lead < 5) end = f.lead;  // suffix always stored
    if (end > f.lead) f.trail = std::min(TrailingZeros(key + f.lead, key + end), kMaxCompressRun);
  }
  return f;
}

std::size_t FormBytes(const PageShape& s, const EntryForm& f) {
  const std::size_t lt = s.compression == LeafCompression::kBoth ? 2 : 1;
  return lt + (s.keyLength - f.lead - f.trail) + 4;
}

}  // namespace

bool PageShape::Valid() const {
  if (keyLength < 1 || keyLength > kMaxKeyLength) return false;
  if (!unique && keyLength < 5) return false;  // a segment and the row id
  if (bodyLimit > kPageBodyBytes) return false;
  if (InternalCapacity() < 4 || LeafCapacity() < 4) return false;
  return true;
}

std::size_t CompressedEntryBytes(const PageShape& s, const std::uint8_t* prev,
                                 const std::uint8_t* key) {
  return FormBytes(s, FormOf(s, prev, key));
}

TPage::TPage(const PageShape& shape, std::int32_t number)
    : shape_(&shape), number_(number) {}

std::int32_t TPage::Ref(int i) const {
  return GetInt32LE(&data_[Offset(i) + shape_->keyLength]);
}

void TPage::SetRef(int i, std::int32_t ref) {
  PutInt32LE(&data_[Offset(i) + shape_->keyLength], ref);
}

std::uint32_t TPage::SubCount(int i) const {
  return GetFixed32LE(&data_[Offset(i) + shape_->keyLength + 4]);
}

void TPage::SetSubCount(int i, std::uint32_t n) {
  PutFixed32LE(&data_[Offset(i) + shape_->keyLength + 4], n);
}

std::size_t TPage::EntryBytesAt(int i) const {
  return CompressedEntryBytes(*shape_, i > 0 ? Key(i - 1) : nullptr, Key(i));
}

void TPage::Insert(int i, const std::uint8_t* key, std::int32_t ref, std::uint32_t subCount) {
  assert(i >= 0 && i <= count_);
  const bool track = IsCompressedLeaf();
  if (track && i < count_) used_ -= EntryBytesAt(i);
  data_.insert(data_.begin() + std::ptrdiff_t(Offset(i)), Stride(), 0);
  ++count_;
  std::memcpy(&data_[Offset(i)], key, shape_->keyLength);
  SetRef(i, ref);
  SetSubCount(i, subCount);
  if (track) {
    used_ += EntryBytesAt(i);
    if (i + 1 < count_) used_ += EntryBytesAt(i + 1);
  }
}

void TPage::Remove(int i) {
  assert(i >= 0 && i < count_);
  const bool track = IsCompressedLeaf();
  if (track) {
    used_ -= EntryBytesAt(i);
    if (i + 1 < count_) used_ -= EntryBytesAt(i + 1);
  }
  auto at = data_.begin() + std::ptrdiff_t(Offset(i));
  data_.erase(at, at + std::ptrdiff_t(Stride()));
  --count_;
  if (track && i < count_) used_ += EntryBytesAt(i);
}

void TPage::SetKey(int i, const std::uint8_t* key) {
  const bool track = IsCompressedLeaf();
  if (track) {
    used_ -= EntryBytesAt(i);
    if (i + 1 < count_) used_ -= EntryBytesAt(i + 1);
  }
  std::memcpy(&data_[Offset(i)], key, shape_->keyLength);
  if (track) {
    used_ += EntryBytesAt(i);
    if (i + 1 < count_) used_ += EntryBytesAt(i + 1);
  }
}

void TPage::MoveTailTo(TPage& dst, int from) {
  assert(from >= 0 && from <= count_);
  auto first = data_.begin() + std::ptrdiff_t(Offset(from));
  dst.data_.insert(dst.data_.begin(), first, data_.end());
  dst.count_ += count_ - from;
  data_.erase(first, data_.end());
  count_ = from;
  RecomputeUsed();
  dst.RecomputeUsed();
}

void TPage::MoveHeadTo(TPage& dst, int n) {
  assert(n >= 0 && n <= count_);
  auto last = data_.begin() + std::ptrdiff_t(Offset(n));
  dst.data_.insert(dst.data_.end(), data_.begin(), last);
  dst.count_ += n;
  data_.erase(data_.begin(), last);
  count_ -= n;
  RecomputeUsed();
  dst.RecomputeUsed();
}

void TPage::RecomputeUsed() {
  used_ = 0;
  if (!IsCompressedLeaf()) return;
  for (int i = 0; i < count_; ++i) used_ += EntryBytesAt(i);
}

std::uint64_t TPage::SubtreeKeys() const {
  if (IsLeaf()) return std::uint64_t(count_);
  std::uint64_t n = 0;
  for (int i = 0; i < count_; ++i) n += SubCount(i);
  return n;
}

int TPage::Capacity() const {
  return IsLeaf() ? shape_->LeafCapacity() : shape_->InternalCapacity();
}

std::size_t TPage::UsedBytes() const {
  if (IsCompressedLeaf()) return used_;
  const std::size_t entry = IsLeaf() ? shape_->keyLength + 4u : shape_->InternalEntryBytes();
  return std::size_t(count_) * entry;
}

bool TPage::Overflows() const {
  if (IsCompressedLeaf()) return used_ > shape_->bodyLimit;
  return count_ > Capacity();
}

bool TPage::Underflows() const {
  if (IsCompressedLeaf()) return false;
  return count_ < Capacity() / 2;
}

void TPage::Clear() {
  type_ = kPageRoot;
  prev_ = next_ = 0;
  count_ = 0;
  used_ = 0;
  data_.clear();
  raw_.clear();
}

void TPage::Reset(std::int32_t number) {
  Clear();
  number_ = number;
  dirty = false;
  useCount = 0;
  lastUse = 0;
}

void TPage::MakeFree(std::int32_t nextFree) {
  count_ = 0;
  data_.clear();
  raw_.clear();
  next_ = nextFree;
}

// Index page, 4096 bytes, little-endian.
//   offset size  meaning
//        0    1  page type: 0 root (internal), 1 internal, 2 leaf,
//                3 root that is also a leaf, 4 parameter page of "Sys Text"
//        1    2  number of entries; 0 in a free page
//        3    4  previous page on the same level (0 for the first)
//        7    4  next page on the same level (0 for the last); in a free page
//                the next page of the index's free chain; in a type-4 page
//                the next page of the parameter chain
//       11    2  bytes of entries used (compressed leaves; 0 otherwise)
//       13 4083  entries
//
// Internal entry: key (key length bytes), child page (4), keys in the
// child's subtree (4, absent with the no-counts flag). The key is the
// smallest key below the child.
// Uncompressed leaf entry: key, record number (4).
// Compressed leaf entry, with L leading bytes shared with the previous key
// (0 for the first entry of the page, at most 254) and T dropped zero bytes
// (at most 254; in a non-unique index only zero bytes before the 4-byte
// row-id suffix and after the leading part, and none when fewer than 5 bytes
// follow the leading part):
//   compression 1: L, key[L, K), record number
//   compression 2: T, key without its dropped bytes, record number
//   compression 3: L, T, key[L, K) without its dropped bytes, record number
void TPage::Encode(std::uint8_t* dst) const {
  dst[0] = type_;
  PutFixed16LE(dst + 1, std::uint16_t(count_));
  PutInt32LE(dst + 3, prev_);
  PutInt32LE(dst + 7, next_);
  PutFixed16LE(dst + 11, 0);
  std::uint8_t* body = dst + kPageHeaderBytes;
  // Only the bytes after the entries are cleared: a page is encoded after
  // every change that writes it, so a whole-page clear showed in profiles.
  std::size_t written = 0;
  if (type_ == kPageTextParams) {
    written = std::min(raw_.size(), kPageBodyBytes);
    std::memcpy(body, raw_.data(), written);
    PutFixed16LE(dst + 11, std::uint16_t(used_));
  } else if (IsCompressedLeaf()) {
    // A free page keeps the used-byte count it had last.
    written = count_ == 0 ? 0 : EncodeCompressed(body);
    PutFixed16LE(dst + 11, std::uint16_t(count_ == 0 ? used_ : written));
  } else {
    const std::size_t k = shape_->keyLength;
    const std::size_t entry = k + (IsLeaf() || shape_->noCounts ? 4 : 8);
    written = std::size_t(count_) * entry;
    if (entry == Stride()) {  // internal entries are held as they are stored
      std::memcpy(body, data_.data(), written);
    } else {
      for (int i = 0; i < count_; ++i, body += entry) CopySmall(body, Key(i), entry);
      body = dst + kPageHeaderBytes;
    }
  }
  std::memset(body + written, 0, kPageBodyBytes - written);
}

std::size_t TPage::EncodeCompressed(std::uint8_t* body) const {
  const PageShape& s = *shape_;
  const std::size_t k = s.keyLength;
  std::uint8_t* p = body;
  for (int i = 0; i < count_; ++i) {
    const std::uint8_t* key = Key(i);
    const EntryForm f = FormOf(s, i > 0 ? Key(i - 1) : nullptr, key);
    if (s.compression != LeafCompression::kTrailing) *p++ = std::uint8_t(f.lead);
    if (s.compression != LeafCompression::kLeading) *p++ = std::uint8_t(f.trail);
    if (!s.unique && f.trail > 0) {
      const std::size_t body1 = k - 4 - f.trail - f.lead;
      std::memcpy(p, key + f.lead, body1);
      std::memcpy(p + body1, key + k - 4, 4);
      p += body1 + 4;
    } else {
      const std::size_t n = k - f.lead - f.trail;
      std::memcpy(p, key + f.lead, n);
      p += n;
    }
    PutInt32LE(p, Ref(i));
    p += 4;
  }
  return std::size_t(p - body);
}

void TPage::Decode(const std::uint8_t* src, const char* table) {
  Clear();
  const std::uint8_t type = src[0];
  const int count = GetFixed16LE(src + 1);
  const std::int32_t prev = GetInt32LE(src + 3);
  const std::int32_t next = GetInt32LE(src + 7);
  const std::size_t used = GetFixed16LE(src + 11);
  if (type > kPageTextParams) Corrupt(table);
  type_ = type;
  prev_ = prev;
  next_ = next;
  const std::uint8_t* body = src + kPageHeaderBytes;
  if (type == kPageTextParams) {
    raw_.assign(body, body + kPageBodyBytes);
    used_ = used;
    count_ = count;
    return;
  }
  if (count == 0) {  // a free page: nothing else to read
    used_ = used;
    return;
  }
  try {
    if (IsCompressedLeaf())
      DecodeCompressed(body, count, used, table);
    else
      DecodeFixed(body, count, !IsLeaf(), table);
  } catch (...) {
    Clear();
    throw;
  }
}

void TPage::DecodeFixed(const std::uint8_t* body, int count, bool internal, const char* table) {
  // The real page size bounds the count even when a test lowers the limit.
  const std::size_t k = shape_->keyLength;
  const std::size_t entry = internal ? shape_->InternalEntryBytes() : k + 4;
  if (std::size_t(count) * entry > kPageBodyBytes || count > Capacity()) Corrupt(table);
  data_.assign(std::size_t(count) * Stride(), 0);
  count_ = count;
  for (int i = 0; i < count; ++i, body += entry)
    std::memcpy(&data_[Offset(i)], body, entry);
}

void TPage::DecodeCompressed(const std::uint8_t* body, int count, std::size_t used,
                             const char* table) {
  const PageShape& s = *shape_;
  const std::size_t k = s.keyLength;
  if (used > kPageBodyBytes) Corrupt(table);
  data_.assign(std::size_t(count) * Stride(), 0);
  const std::uint8_t* p = body;
  const std::uint8_t* end = body + used;
  for (int i = 0; i < count; ++i) {
    std::uint8_t* key = &data_[Offset(i)];
    std::size_t lead = 0, trail = 0;
    if (s.compression != LeafCompression::kTrailing) {
      if (p >= end) Corrupt(table);
      lead = *p++;
    }
    if (s.compression != LeafCompression::kLeading) {
      if (p >= end) Corrupt(table);
      trail = *p++;
    }
    if ((i == 0 && lead != 0) || lead + trail > k) Corrupt(table);
    if (!s.unique && trail > 0 && (k - lead < 5 || lead + trail > k - 4)) Corrupt(table);
    const std::size_t stored = k - lead - trail;
    if (std::size_t(end - p) < stored + 4) Corrupt(table);
    if (lead > 0) std::memcpy(key, key - Stride(), lead);
    if (!s.unique && trail > 0) {
      const std::size_t body1 = stored - 4;
      std::memcpy(key + lead, p, body1);
      std::memcpy(key + k - 4, p + body1, 4);
    } else {
      std::memcpy(key + lead, p, stored);
    }
    p += stored;
    std::memcpy(key + k, p, 4);
    p += 4;
  }
  if (p != end) Corrupt(table);
  count_ = count;
  used_ = used;
}

}  // namespace kura
