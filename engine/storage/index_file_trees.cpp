#include "engine/storage/index_file_trees.h"

#include <algorithm>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"
#include "engine/storage/index_checker.h"
#include "engine/storage/index_file.h"
#include "engine/storage/index_temp_file.h"
#include "engine/storage/locale.h"
#include "engine/storage/record_file.h"
#include "engine/storage/storage_session.h"

namespace kura {

// The index file's pages, as the page caches see them.
class TIndexTrees::FilePages : public PageFile {
 public:
  explicit FilePages(TIndexFile& file) : file_(file) {}
  void ReadPage(std::int32_t n, std::uint8_t* dst) override { file_.ReadPage(n, dst); }
  void WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) override {
    file_.WritePages(first, src, std::int32_t(count));
  }
  std::int32_t NextPageNumber() const override { return file_.Header().nextPageNumber; }
  std::int32_t AppendPage() override { return file_.AppendPage(); }

 private:
  TIndexFile& file_;
};

struct TIndexTrees::Slot {
  std::string name;
  std::unique_ptr<TTempIndexFile> temp;  // pages of a temporary index
  std::unique_ptr<KeyComparator> cmp;
  PageShape shape;
  std::unique_ptr<TPageCache> cache;
  IndexRoots roots;
  std::unique_ptr<TIndexTree> tree;
};

namespace {

// Writes the roots back however the operation ends, so that the header
// always names the pages the trees were left in.
template <typename Fn>
struct OnExit {
  Fn fn;
  ~OnExit() { fn(); }
};
template <typename Fn>
OnExit(Fn) -> OnExit<Fn>;

KeyDef FieldKeyDef(const TIndexDescriptor& d, std::span<const TFieldDescriptor> fields,
                   std::shared_ptr<const TableCollation> collation, const std::string& table) {
  KeyDef def;
  def.descending = d.descending != 0;
  def.caseInsensitive = d.caseInsensitive != 0;
  def.unique = d.unique != 0;
  def.collation = std::move(collation);
  for (int i = 0; i < d.fieldCount && i < kMaxKeyFields; ++i) {
    const std::uint16_t n = d.fieldNumbers[std::size_t(i)];
    if (n < 1 || n > fields.size()) Raise(KURA_HEADERCORRUPT, {.table = table});
    const TFieldDescriptor& f = fields[n - 1u];
    KeySegment seg;
    seg.type = f.type;
    seg.subtype = f.subtype;
    seg.slotOffset = f.offset;
    seg.storedSize = f.storedSize;
    seg.descending = d.fieldDescending[std::size_t(i)] != 0;
    if (seg.ValueLength() == 0) Raise(KURA_HEADERCORRUPT, {.table = table});
    def.segments.push_back(seg);
  }
  return def;
}

}  // namespace

TIndexTrees::TIndexTrees(TIndexFile& file, std::string table, TDataSession& session)
    : file_(file), table_(std::move(table)), session_(session),
      keepUnused_(session.settings.indexCacheBytes / 8192),
      pages_(std::make_unique<FilePages>(file)) {}

TIndexTrees::~TIndexTrees() = default;

void TIndexTrees::Bind(std::span<const TFieldDescriptor> fields, std::int16_t languageId,
                       std::int16_t sortId) {
  std::shared_ptr<const TableCollation> collation;
  if (languageId != 0) {
    collation = TableCollation::For(languageId, sortId);
    if (!collation) Raise(KURA_CANNOTLOADLDDRV, {.table = table_});
  }
  const TIndexFileHeader& h = file_.Header();
  // The files of temporary indexes outlive a rebinding; a name that is no
  // longer defined loses its file.
  std::vector<std::pair<std::string, std::unique_ptr<TTempIndexFile>>> temps;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    auto& s = slots_[std::size_t(i)];
    if (s && s->temp) temps.emplace_back(IndexNameBound(i), std::move(s->temp));
  }
  for (auto& s : slots_) s.reset();
  inUse_.clear();
  bound_ = false;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    const TIndexDescriptor& d = h.slots[std::size_t(i)];
    KeyDef def;
    if (i == kSysDeletedSlot) {
      def = SysDeletedKeyDef();
    } else if (i == kSysTextSlot) {
      continue;  // kept as found
    } else if (i == 0 ? (h.noPrimaryFields != 0 || d.fieldCount == 0)
                      : i > h.secondaryCount) {
      continue;
    } else {
      def = FieldKeyDef(d, fields, collation, table_);
      def.unique = def.unique || i == 0;
    }
    auto s = std::make_unique<Slot>();
    s->shape.keyLength = d.keyLength;
    s->shape.unique = def.unique;
    s->shape.noCounts = d.noCounts != 0;
    s->shape.compression = LeafCompression(d.compression & 3);
    if (def.KeyLength() != d.keyLength || !s->shape.Valid() || d.compression > 3)
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    s->cmp = std::make_unique<KeyComparator>(std::move(def));
    if (d.temporary != 0) {
      auto kept = std::find_if(temps.begin(), temps.end(),
                               [&](const auto& t) { return t.first == d.name && t.second; });
      s->temp = kept != temps.end()
                    ? std::move(kept->second)
                    : std::make_unique<TTempIndexFile>(session_.GetEnv(),
                                                       session_.WorkDirectory(), table_);
    }
    s->cache = std::make_unique<TPageCache>(s->shape, s->temp ? static_cast<PageFile&>(*s->temp)
                                                              : *pages_, table_);
    s->roots = {d.rootPage, d.firstFreePage};
    s->name = d.name;
    s->tree = std::make_unique<TIndexTree>(s->shape, *s->cmp, *s->cache, s->roots, table_,
                                           IndexName(i));
    slots_[std::size_t(i)] = std::move(s);
    inUse_.push_back(i);
  }
  bound_ = true;
}

bool TIndexTrees::Maintained(int slot) const {
  return slot >= 0 && slot < kIndexSlotCount && slots_[std::size_t(slot)] != nullptr;
}

TIndexTrees::Slot& TIndexTrees::At(int slot) {
  if (!Maintained(slot)) Raise(KURA_INDEXCORRUPT, {.table = table_});
  return *slots_[std::size_t(slot)];
}

TIndexTree& TIndexTrees::Tree(int slot) {
  LoadRoots();
  return *At(slot).tree;
}

// The header is the one place the roots live (another user may have changed
// them): every operation starts from it and ends by writing them back.
void TIndexTrees::LoadRoots() {
  for (const int i : inUse_) {
    const TIndexDescriptor& d = file_.Header().slots[std::size_t(i)];
    slots_[std::size_t(i)]->roots = {d.rootPage, d.firstFreePage};
  }
}

void TIndexTrees::StoreRoots() {
  for (const int i : inUse_) {
    const IndexRoots& r = slots_[std::size_t(i)]->roots;
    TIndexDescriptor& d = file_.MutableHeader().slots[std::size_t(i)];
    if (d.rootPage != r.root || d.firstFreePage != r.firstFree) {
      d.rootPage = r.root;
      d.firstFreePage = r.firstFree;
      file_.MarkHeaderChanged();
    }
  }
}

std::string TIndexTrees::IndexNameBound(int slot) const { return slots_[std::size_t(slot)]->name; }

std::string TIndexTrees::IndexName(int slot) const {
  return file_.Header().slots[std::size_t(slot)].name;
}

std::vector<std::uint8_t> TIndexTrees::KeyOf(int slot, const std::uint8_t* image,
                                             std::int32_t rowId) const {
  const KeyComparator& cmp = *slots_[std::size_t(slot)]->cmp;
  std::vector<std::uint8_t> key(cmp.KeyLength());
  BuildKey(cmp.Def(), image, rowId, key.data());
  return key;
}

void TIndexTrees::CheckInsert(const std::uint8_t* image, std::int32_t rowId) {
  LoadRoots();
  for (const int i : inUse_) {
    if (i >= kSysDeletedSlot || !At(i).shape.unique) continue;
    if (At(i).tree->Contains(KeyOf(i, image, rowId).data()))
      Raise(KURA_KEYVIOL, {.index = IndexName(i), .table = table_});
  }
  // Row ids are unique in a table. A supplied one may already be taken, and
  // so may the one after the wrap at 2 147 483 647: refused here, before
  // the data file changes, rather than halfway through the insert.
  if (Maintained(kSysDeletedSlot)) {
    std::uint8_t key[kSysDeletedKeyLength];
    BuildSysDeletedKey(kRecordActive, rowId, key);
    if (At(kSysDeletedSlot).tree->Contains(key))
      Raise(KURA_KEYVIOL, {.index = IndexName(kSysDeletedSlot), .table = table_});
  }
}

void TIndexTrees::InsertRecord(std::int32_t recordNo, const std::uint8_t* image,
                               std::optional<std::int32_t> reusedRowId) {
  LoadRoots();
  OnExit store{[this] { StoreRoots(); }};
  const std::int32_t rowId = GetInt32LE(image + 5);
  std::uint8_t key[kSysDeletedKeyLength];
  if (reusedRowId && Maintained(kSysDeletedSlot)) {
    BuildSysDeletedKey(kRecordDeleted, *reusedRowId, key);
    TIndexTree& deleted = *At(kSysDeletedSlot).tree;
    if (deleted.Contains(key)) deleted.Delete(key);
  }
  // Every bound index's key fits a page entry, so one buffer serves them all.
  std::array<std::uint8_t, kMaxKeyLength> built;
  for (const int i : inUse_) {
    if (i >= kSysDeletedSlot) continue;
    BuildKey(At(i).cmp->Def(), image, rowId, built.data());
    At(i).tree->Insert(built.data(), recordNo);
  }
  if (Maintained(kSysDeletedSlot)) {
    BuildSysDeletedKey(kRecordActive, rowId, key);
    At(kSysDeletedSlot).tree->Insert(key, recordNo);
  }
}

void TIndexTrees::DeleteRecord(std::int32_t recordNo, const std::uint8_t* image) {
  LoadRoots();
  OnExit store{[this] { StoreRoots(); }};
  const std::int32_t rowId = GetInt32LE(image + 5);
  for (int i = 0; i < kSysDeletedSlot; ++i)
    if (Maintained(i)) At(i).tree->Delete(KeyOf(i, image, rowId).data());
  if (Maintained(kSysDeletedSlot)) {
    std::uint8_t active[kSysDeletedKeyLength], deleted[kSysDeletedKeyLength];
    BuildSysDeletedKey(kRecordActive, rowId, active);
    BuildSysDeletedKey(kRecordDeleted, rowId, deleted);
    At(kSysDeletedSlot).tree->Replace(active, deleted, recordNo);
  }
  StoreRoots();
}

void TIndexTrees::CheckUpdate(const std::uint8_t* oldImage, const std::uint8_t* newImage) {
  LoadRoots();
  const std::int32_t rowId = GetInt32LE(oldImage + 5);
  for (int i = 0; i < kSysDeletedSlot; ++i) {
    if (!Maintained(i) || !At(i).shape.unique) continue;
    const auto oldKey = KeyOf(i, oldImage, rowId), newKey = KeyOf(i, newImage, rowId);
    if ((*At(i).cmp)(oldKey.data(), newKey.data()) != 0 && At(i).tree->Contains(newKey.data()))
      Raise(KURA_KEYVIOL, {.index = IndexName(i), .table = table_});
  }
}

void TIndexTrees::UpdateRecord(std::int32_t recordNo, const std::uint8_t* oldImage,
                               const std::uint8_t* newImage) {
  LoadRoots();
  OnExit store{[this] { StoreRoots(); }};
  const std::int32_t rowId = GetInt32LE(oldImage + 5);
  for (int i = 0; i < kSysDeletedSlot; ++i) {
    if (!Maintained(i)) continue;
    const auto oldKey = KeyOf(i, oldImage, rowId), newKey = KeyOf(i, newImage, rowId);
    if (oldKey != newKey) At(i).tree->Replace(oldKey.data(), newKey.data(), recordNo);
  }
  StoreRoots();
}

void TIndexTrees::BuildIndex(int slot, TDataFile& data) {
  LoadRoots();
  OnExit store{[this] { StoreRoots(); }};
  TIndexTree& tree = *At(slot).tree;
  std::vector<std::uint8_t> image(data.RecordLength());
  for (std::int32_t n = 1; n <= data.RecordCount(); ++n) {
    std::memcpy(image.data(), data.GetRecord(n)->Data(), image.size());
    if (image[0] != kRecordActive) continue;
    tree.Insert(KeyOf(slot, image.data(), GetInt32LE(image.data() + 5)).data(), n);
  }
}

std::int32_t TIndexTrees::RebuildSysDeleted(TDataFile& data) {
  LoadRoots();
  OnExit store{[this] { StoreRoots(); }};
  std::int32_t active = 0;
  std::uint8_t key[kSysDeletedKeyLength];
  for (std::int32_t n = 1; n <= data.RecordCount(); ++n) {
    const std::uint8_t* rec = data.GetRecord(n)->Data();
    const std::uint8_t status = rec[0] == kRecordActive ? kRecordActive : kRecordDeleted;
    if (status == kRecordActive) ++active;
    if (!Maintained(kSysDeletedSlot)) continue;
    BuildSysDeletedKey(status, GetInt32LE(rec + 5), key);
    At(kSysDeletedSlot).tree->Insert(key, n);
  }
  StoreRoots();
  return active;
}

bool TIndexTrees::WriteDirtyPages() {
  std::vector<TPage*> dirty;
  bool wrote = false;
  for (const auto& s : slots_) {
    if (!s || !s->temp) continue;
    std::vector<TPage*> own;
    s->cache->CollectDirty(own);
    wrote = wrote || !own.empty();
    WritePageRuns(std::move(own), *s->temp);
  }
  for (const auto& s : slots_)
    if (s && !s->temp) s->cache->CollectDirty(dirty);
  if (dirty.empty()) return wrote;
  WritePageRuns(std::move(dirty), *pages_);
  return true;
}

void TIndexTrees::DropPageCache() {
  for (const auto& s : slots_)
    if (s && !s->temp) s->cache->DropAll();
}

void TIndexTrees::CloseTemporary() {
  for (auto& s : slots_)
    if (s && s->temp) s.reset();
  std::erase_if(inUse_, [this](int i) { return !slots_[std::size_t(i)]; });
}

void TIndexTrees::TrimPageCache() {
  for (const auto& s : slots_)
    if (s) s->cache->Trim(keepUnused_);
}

std::vector<std::string> TIndexTrees::Check(TDataFile* data) {
  LoadRoots();
  IndexChecker checker(file_.Header().nextPageNumber);
  std::vector<std::string> extra;
  for (int i = 0; i < kIndexSlotCount; ++i) {
    if (!Maintained(i) || At(i).temp) continue;
    Slot& s = At(i);
    const std::string name = i == 0 ? std::string("primary index") : IndexName(i);
    checker.CheckTree(*s.cache, s.shape, *s.cmp, s.roots, name, false);
  }
  for (int i = 0; i < kIndexSlotCount; ++i) {  // each in its own file
    if (!Maintained(i) || !At(i).temp) continue;
    Slot& s = At(i);
    IndexChecker own(s.temp->NextPageNumber());
    own.CheckTree(*s.cache, s.shape, *s.cmp, s.roots, IndexName(i), false);
    for (const std::string& p : own.Problems()) extra.push_back(p);
  }
  if (data == nullptr) {
    extra.insert(extra.begin(), checker.Problems().begin(), checker.Problems().end());
    return extra;
  }
  std::array<std::vector<IndexEntry>, kIndexSlotCount> expected;
  std::int32_t active = 0;
  std::vector<std::uint8_t> image(data->RecordLength());
  for (std::int32_t n = 1; n <= data->RecordCount(); ++n) {
    std::memcpy(image.data(), data->GetRecord(n)->Data(), image.size());
    const bool isActive = image[0] == kRecordActive;
    const std::int32_t rowId = GetInt32LE(image.data() + 5);
    active += isActive ? 1 : 0;
    for (int i = 0; i < kIndexSlotCount; ++i) {
      if (!Maintained(i) || (i != kSysDeletedSlot && !isActive)) continue;
      expected[std::size_t(i)].push_back({KeyOf(i, image.data(), rowId), n});
    }
  }
  for (int i = 0; i < kIndexSlotCount; ++i) {
    if (!Maintained(i)) continue;
    const KeyComparator& cmp = *At(i).cmp;
    auto& list = expected[std::size_t(i)];
    std::stable_sort(list.begin(), list.end(), [&](const IndexEntry& a, const IndexEntry& b) {
      return cmp(a.key.data(), b.key.data()) < 0;
    });
    checker.CheckEntries(*At(i).tree, list, i == 0 ? std::string("primary index") : IndexName(i));
  }
  std::vector<std::string> problems = checker.Problems();
  problems.insert(problems.end(), extra.begin(), extra.end());
  if (active != file_.Header().activeRecordCount)
    problems.push_back("active record count " + std::to_string(file_.Header().activeRecordCount) +
                       ", the data file holds " + std::to_string(active));
  return problems;
}

}  // namespace kura
