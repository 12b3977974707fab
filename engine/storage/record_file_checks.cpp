#include "engine/storage/record_file_checks.h"

#include <set>

#include "engine/errors/kura_error.h"
#include "engine/storage/field_values.h"
#include "engine/storage/locale.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         (c >= 128 && c <= 254);
}

bool ValidFieldName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxFieldNameLength &&
         IsNameStart(static_cast<unsigned char>(name[0]));
}

bool ValidDeclaredSize(const TFieldDescriptor& f) {
  if (HasDeclaredSize(f.type)) {
    return f.declaredSize >= 1 && f.declaredSize <= kMaxDeclaredSize;
  }
  return true;
}

bool KnownType(std::uint8_t type) {
  return type == kFieldString || type == kFieldBytes || type == kFieldVarBytes ||
         StoredSizeOf(type, 0) != 0;
}

bool ValidLiterals(const TFieldDescriptor& f) {
  return IsValidFieldLiteral(f, f.defaultValue) && IsValidFieldLiteral(f, f.minimum) &&
         IsValidFieldLiteral(f, f.maximum);
}

}  // namespace

void CheckDefinition(const DataFileDefinition& def, const std::string& table) {
  if (def.encrypted) {
    const std::string pw = TrimBlanks(def.password);
    if (pw.empty() || pw.size() > 15) Raise(KURA_INVALIDPASSWORD, {.table = table});
  }
  if (def.languageId != 0 && !IsLocaleInstalled(def.languageId, def.sortId)) {
    Raise(KURA_CANNOTLOADLDDRV, {.table = table});
  }
  if (def.fields.empty() || def.fields.size() > kMaxFields) {
    Raise(KURA_FLDLIMIT, {.table = table});
  }
  if (def.secondaryIndexCount > kMaxSecondaryIndexes) {
    Raise(KURA_INDEXLIMIT, {.table = table});
  }
  if (def.blobBlockSize != 0 &&
      (def.blobBlockSize < kMinBlobBlockSize || def.blobBlockSize > kMaxBlobBlockSize)) {
    Raise(KURA_BLOBLIMIT, {.table = table});
  }
  const auto collation = TableCollation::For(def.languageId, def.sortId);
  std::set<std::string> names;
  std::set<std::uint16_t> numbers;
  for (const TFieldDescriptor& f : def.fields) {
    const std::string name = TrimBlanks(f.name);
    const std::string key = collation ? collation->ToUpper(name) : UpperAscii(name);
    if (!ValidFieldName(name) || !names.insert(key).second) {
      Raise(KURA_INVALIDFIELDNAME, {.field = f.name, .table = table});
    }
    if (!numbers.insert(f.number).second || f.number == 0 || !KnownType(f.type) ||
        !ValidDeclaredSize(f)) {
      Raise(KURA_INVALIDFLDTYPE, {.field = f.name, .table = table});
    }
  }
  for (TFieldDescriptor f : def.fields) {
    LayOutFields(&f, 1);  // literals are judged with the sizes as stored
    if (!ValidLiterals(f)) Raise(KURA_INVALIDVCHKSTRUCT, {.field = f.name, .table = table});
  }
}

void VerifyDataLayout(const TDataFileHeader& h,
                      const std::vector<TFieldDescriptor>& fields,
                      std::uint64_t fileLength, const std::string& table) {
  auto corrupt = [&] { Raise(KURA_HEADERCORRUPT, {.table = table}); };
  if (fields.size() != h.fieldCount || fields.empty()) corrupt();
  std::set<std::string> names;
  std::set<std::uint16_t> numbers;
  std::uint32_t offset = kRecordHeaderSize;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& f = fields[i];
    const std::string name = UpperAscii(TrimBlanks(f.name));
    if (!ValidFieldName(name) || !names.insert(name).second) corrupt();
    if (!numbers.insert(f.number).second || f.number != i + 1) corrupt();
    if (f.type == 0 || !KnownType(f.type)) corrupt();
    if (HasDeclaredSize(f.type) ? f.declaredSize > kMaxDeclaredSize || f.declaredSize == 0
                                : f.declaredSize != 0) {
      corrupt();
    }
    if (f.type != kFieldBcd && f.declaredScale != 0) corrupt();
    if (f.storedSize != StoredSizeOf(f.type, f.declaredSize)) corrupt();
    if (!ValidLiterals(f)) corrupt();
    if (f.IsAutoIncrement()) {
      if (f.offset != 5) corrupt();
      continue;
    }
    if (f.offset != offset) corrupt();
    offset += f.SlotLength();
  }
  if (h.recordLength != offset || offset > kMaxRecordLength) corrupt();
  const std::uint64_t start =
      kDataHeaderSize + static_cast<std::uint64_t>(kFieldDescriptorSize) * h.fieldCount;
  const std::uint64_t excess = fileLength > start ? fileLength - start : 0;
  if (fileLength < start || excess % h.recordLength != 0) corrupt();
  const std::uint64_t records = excess / h.recordLength;
  if (h.nextRecordNumber < 1 || static_cast<std::uint64_t>(h.nextRecordNumber) != records + 1) {
    corrupt();
  }
  if (h.firstFreeRecord < 0 || static_cast<std::uint64_t>(h.firstFreeRecord) > records) {
    corrupt();
  }
}

std::string DescribeDataLength(const TDataFileHeader& h, std::uint64_t fileLength) {
  const std::uint64_t start =
      kDataHeaderSize + static_cast<std::uint64_t>(kFieldDescriptorSize) * h.fieldCount;
  if (h.recordLength == 0 || fileLength < start) return {};
  const std::uint64_t records = (fileLength - start) / h.recordLength;
  const std::uint64_t rest = (fileLength - start) % h.recordLength;
  if (rest != 0) {
    return "the data file ends in a partial record: " + std::to_string(rest) + " of " +
           std::to_string(h.recordLength) + " bytes after record " + std::to_string(records) +
           " (a write that did not finish)";
  }
  if (h.nextRecordNumber >= 1 && static_cast<std::uint64_t>(h.nextRecordNumber) != records + 1) {
    return "the data file holds " + std::to_string(records) + " records, its header " +
           std::to_string(h.nextRecordNumber - 1);
  }
  return {};
}

}  // namespace kura
