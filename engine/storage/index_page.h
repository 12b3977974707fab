// TPage: one 4096-byte page of an index B+-tree held in memory, with its
// entries expanded to a fixed stride, and the codec between that form and
// the bytes on disk (including the key compression of leaf pages). The page
// layout is documented above TPage::Encode in index_page.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kura {

inline constexpr std::size_t kPageBytes = 4096;
inline constexpr std::size_t kPageHeaderBytes = 13;
inline constexpr std::size_t kPageBodyBytes = kPageBytes - kPageHeaderBytes;  // 4083
// Longest key: 522 bytes of segments and the 4-byte row-id suffix.
inline constexpr std::size_t kMaxKeyLength = 526;
// L and T of a compressed entry are single bytes capped at this value.
inline constexpr std::size_t kMaxCompressRun = 254;

// Page types (page header offset 0).
inline constexpr std::uint8_t kPageRoot = 0;        // root, internal
inline constexpr std::uint8_t kPageInternal = 1;
inline constexpr std::uint8_t kPageLeaf = 2;
inline constexpr std::uint8_t kPageRootLeaf = 3;    // root that is also a leaf
inline constexpr std::uint8_t kPageTextParams = 4;  // parameter page of "Sys Text"

// Key compression of leaf pages (descriptor offset 36).
enum class LeafCompression : std::uint8_t {
  kNone = 0, kLeading = 1, kTrailing = 2, kBoth = 3
};

// What the page codec and the tree need to know about an index: copied from
// its descriptor. `bodyLimit` is the room for entries; it is 4083 in every
// real file and set lower only by tests that want more splits and merges.
struct PageShape {
  std::uint16_t keyLength = 0;
  bool unique = true;
  bool noCounts = false;
  LeafCompression compression = LeafCompression::kNone;
  std::uint16_t bodyLimit = kPageBodyBytes;

  bool Compressed() const { return compression != LeafCompression::kNone; }
  // Bytes of one internal entry: key, child page, count (unless noCounts).
  std::size_t InternalEntryBytes() const { return keyLength + (noCounts ? 4u : 8u); }
  // Entries an internal page holds.
  int InternalCapacity() const { return int(bodyLimit / InternalEntryBytes()); }
  // Entries an uncompressed leaf holds.
  int LeafCapacity() const { return int(bodyLimit / (keyLength + 4u)); }
  // True when the shape can form a tree: key length 1 ... 526 and room for
  // at least four entries of the largest size in every kind of page.
  bool Valid() const;
};

// Bytes the entry `key` takes in a compressed leaf after `prev` (nullptr for
// the first entry of the page): the L/T bytes, the stored key bytes and the
// record number.
std::size_t CompressedEntryBytes(const PageShape& s, const std::uint8_t* prev,
                                 const std::uint8_t* key);

class TPage {
 public:
  // An empty, cleared page (type 0, no entries, links 0) of the given shape.
  // The shape must outlive the page.
  TPage(const PageShape& shape, std::int32_t number);

  std::int32_t Number() const { return number_; }
  const PageShape& Shape() const { return *shape_; }
  std::uint8_t Type() const { return type_; }
  void SetType(std::uint8_t t) { type_ = t; }
  bool IsLeaf() const { return type_ == kPageLeaf || type_ == kPageRootLeaf; }
  bool IsRoot() const { return type_ == kPageRoot || type_ == kPageRootLeaf; }
  std::int32_t Prev() const { return prev_; }
  std::int32_t Next() const { return next_; }
  void SetPrev(std::int32_t p) { prev_ = p; }
  void SetNext(std::int32_t n) { next_ = n; }

  int Count() const { return count_; }
  const std::uint8_t* Key(int i) const { return &data_[Offset(i)]; }
  // Record number (leaf) or child page number (internal) of entry i.
  std::int32_t Ref(int i) const;
  void SetRef(int i, std::int32_t ref);
  // Keys in the subtree of internal entry i (0 with noCounts).
  std::uint32_t SubCount(int i) const;
  void SetSubCount(int i, std::uint32_t n);

  // Inserts an entry before position i (0 ... Count()).
  void Insert(int i, const std::uint8_t* key, std::int32_t ref, std::uint32_t subCount);
  void Remove(int i);
  void SetKey(int i, const std::uint8_t* key);
  // Moves entries [from, Count()) of this page to the front of `dst`.
  void MoveTailTo(TPage& dst, int from);
  // Moves entries [0, n) of this page to the end of `dst`.
  void MoveHeadTo(TPage& dst, int n);

  // Keys in the whole subtree: the entry count of a leaf, the sum of the
  // entry counts of an internal page.
  std::uint64_t SubtreeKeys() const;

  bool IsCompressedLeaf() const { return IsLeaf() && shape_->Compressed(); }
  // Entries this page holds when it is not a compressed leaf.
  int Capacity() const;
  // Bytes of entries used: exact for compressed leaves, count × entry size
  // otherwise.
  std::size_t UsedBytes() const;
  // More entries or bytes than the page holds.
  bool Overflows() const;
  // Fewer than half the capacity; never true for a compressed leaf.
  bool Underflows() const;

  // Resets to a new page: type 0, no entries, links 0.
  void Clear();
  // Clear() for a page object reused as page `number`; clean, unused.
  void Reset(std::int32_t number);
  // Turns the page into a free page: no entries, next link `nextFree`; type
  // and previous link keep their values.
  void MakeFree(std::int32_t nextFree);

  // Writes the 4096-byte page image to dst.
  void Encode(std::uint8_t* dst) const;
  // Reads a 4096-byte page image. Raises 8965 (with `table` as the table
  // name) when its type, entry count, used-byte count or a compressed entry
  // is out of range; the page is then left empty.
  void Decode(const std::uint8_t* src, const char* table);

  // Cache bookkeeping, owned by the page cache.
  bool dirty = false;
  int useCount = 0;
  std::uint64_t lastUse = 0;
  // Which taking of the page into a cache this object holds: a number given
  // once per read (or new page) in the whole process, so that a place kept
  // in a page is recognised as stale once the page was dropped or read again.
  std::uint64_t load = 0;

 private:
  std::size_t Stride() const { return shape_->keyLength + 8u; }
  std::size_t Offset(int i) const { return std::size_t(i) * Stride(); }
  std::size_t EntryBytesAt(int i) const;  // compressed size of entry i
  void RecomputeUsed();
  void DecodeFixed(const std::uint8_t* body, int count, bool internal, const char* table);
  void DecodeCompressed(const std::uint8_t* body, int count, std::size_t used, const char* table);
  std::size_t EncodeCompressed(std::uint8_t* body) const;

  const PageShape* shape_;
  std::int32_t number_;
  std::uint8_t type_ = kPageRoot;
  std::int32_t prev_ = 0;
  std::int32_t next_ = 0;
  int count_ = 0;
  std::size_t used_ = 0;  // compressed leaves only
  std::vector<std::uint8_t> data_;  // count_ × Stride(): key, ref, count
  std::vector<std::uint8_t> raw_;   // body of a type-4 page, kept as read
};

}  // namespace kura
