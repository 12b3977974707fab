#include "engine/storage/index_definitions.h"

#include "engine/errors/kura_error.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

constexpr std::uint32_t kMaxSegmentsLength = 522;

TIndexDescriptor Describe(std::span<const TFieldDescriptor> fields, const IndexDefinition& def,
                          bool unique, const std::string& table) {
  if (def.fields.size() > std::size_t(kMaxKeyFields)) Raise(KURA_INDEXLIMIT, {.table = table});
  TIndexDescriptor d;
  d.name = TrimBlanks(def.name);
  d.keyLength = CheckedKeyLength(fields, def, unique, table);
  d.descending = def.descending ? 1 : 0;
  d.caseInsensitive = def.caseInsensitive ? 1 : 0;
  d.unique = unique ? 1 : 0;
  d.compression = def.compression & 3;
  d.fieldCount = std::uint8_t(def.fields.size());
  for (std::size_t i = 0; i < def.fields.size(); ++i) {
    d.fieldNumbers[i] = def.fields[i];
    d.fieldDescending[i] = d.descending;
  }
  return d;
}

}  // namespace

std::uint16_t CheckedKeyLength(std::span<const TFieldDescriptor> fields,
                               const IndexDefinition& def, bool unique,
                               const std::string& table) {
  std::uint32_t total = 0;
  for (std::uint16_t n : def.fields) {
    const bool exists = n >= 1 && n <= fields.size();
    const std::uint32_t len = exists ? IndexSegmentLength(fields[n - 1u]) : 0;
    if (len == 0)
      Raise(KURA_SEARCHCOLREQD, {.index = def.name,
                                 .field = exists ? fields[n - 1u].name : std::to_string(n),
                                 .table = table});
    total += len;
  }
  if (total == 0 || total > kMaxSegmentsLength)
    Raise(KURA_INVALIDKEY, {.index = def.name, .table = table});
  return std::uint16_t(total + (unique ? 0 : 4));
}

void DefinePrimaryIndex(TIndexFileHeader& h, std::span<const TFieldDescriptor> fields,
                        const IndexDefinition& def, const std::string& table) {
  if (h.slots[0].fieldCount != 0 || h.noPrimaryFields != 0)
    Raise(KURA_PRIMARYKEYREDEFINE, {.table = table});
  if (def.fields.empty()) {
    h.slots[0] = TIndexDescriptor{};
    h.noPrimaryFields = 1;
    return;
  }
  IndexDefinition primary = def;
  primary.name.clear();
  h.slots[0] = Describe(fields, primary, true, table);
}

int FindSecondaryIndex(const TIndexFileHeader& h, const std::string& name) {
  const std::string wanted = TrimBlanks(name);
  for (int i = 1; i <= h.secondaryCount && i <= kMaxSecondaryIndexes; ++i)
    if (EqualNoCase(TrimBlanks(h.slots[std::size_t(i)].name), wanted)) return i;
  return 0;
}

int AddSecondaryIndex(TIndexFileHeader& h, std::span<const TFieldDescriptor> fields,
                      const IndexDefinition& def, const std::string& table) {
  if (h.secondaryCount >= kMaxSecondaryIndexes) Raise(KURA_INDEXLIMIT, {.table = table});
  const std::string name = TrimBlanks(def.name);
  if (name.empty()) Raise(KURA_INDEXNAMEREQUIRED, {.table = table});
  if (!IsIndexNameStart(static_cast<unsigned char>(name[0])))
    Raise(KURA_INVALIDINDEXNAME, {.index = name, .table = table});
  if (FindSecondaryIndex(h, name) != 0) Raise(KURA_INDEXEXISTS, {.index = name, .table = table});
  const TIndexDescriptor d = Describe(fields, def, def.unique, table);
  const int slot = ++h.secondaryCount;
  h.slots[std::size_t(slot)] = d;
  return slot;
}

void RemoveSecondaryIndex(TIndexFileHeader& h, int slot) {
  if (slot < 1 || slot > h.secondaryCount) return;
  for (int i = slot; i < h.secondaryCount; ++i) h.slots[std::size_t(i)] = h.slots[std::size_t(i) + 1];
  h.slots[std::size_t(h.secondaryCount)] = TIndexDescriptor{};
  --h.secondaryCount;
}

}  // namespace kura
