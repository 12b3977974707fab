#include "tools/kura/table_report.h"

#include <sstream>

#include "engine/storage/index_header.h"

namespace kura::tool {
namespace {


// A DEFAULT, MIN or MAX text as a literal of the field's type.
std::string Literal(const TFieldDescriptor& f, const std::string& text) {
  const bool numeric = f.type == kFieldSmallInt || f.type == kFieldInteger ||
                       f.type == kFieldWord || f.type == kFieldLargeInt ||
                       f.type == kFieldFloat || f.type == kFieldBcd;
  const bool word = f.type == kFieldBoolean || text.rfind("CURRENT_", 0) == 0 ||
                    text.rfind("current_", 0) == 0;
  return (numeric || word) ? text : SqlQuoted(text);
}

std::string IndexColumns(const TIndexDescriptor& d, TDataTable& t, bool perField) {
  std::string s = "(";
  for (int i = 0; i < d.fieldCount; ++i) {
    const int n = d.fieldNumbers[i];
    s += (i ? ", " : "");
    s += (n >= 1 && n <= static_cast<int>(t.Data().Fields().size()))
             ? SqlName(t.Data().Field(n).name) : "#" + std::to_string(n);
    if (perField && d.fieldDescending[i]) s += " DESC";
  }
  return s + ")";
}

}  // namespace

std::string SqlQuoted(const std::string& text) {
  std::string s = "'";
  for (char c : text) {
    if (c == '\'') s += '\'';
    s += c;
  }
  return s + "'";
}

std::string SqlName(const std::string& name) {
  bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
  for (char c : name) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  return plain ? name : "[" + name + "]";
}

std::string SqlTypeName(const TFieldDescriptor& f) {
  const std::string n = std::to_string(f.declaredSize);
  switch (f.type) {
    case kFieldString: return (f.subtype == kSubtypeFixedChar ? "CHAR(" : "VARCHAR(") + n + ")";
    case kFieldDate: return "DATE";
    case kFieldBlob:
      return f.subtype == kSubtypeMemo ? "MEMO" : f.subtype == kSubtypeGraphic ? "GRAPHIC" : "BLOB";
    case kFieldBoolean: return "BOOLEAN";
    case kFieldSmallInt: return "SMALLINT";
    case kFieldInteger: return f.IsAutoIncrement() ? "AUTOINC" : "INTEGER";
    case kFieldFloat: return f.subtype == kSubtypeMoney ? "MONEY" : "FLOAT";
    case kFieldBcd: return "BCD(32, " + std::to_string(f.declaredScale) + ")";
    case kFieldBytes: return "BYTES(" + n + ")";
    case kFieldTime: return "TIME";
    case kFieldTimestamp: return "TIMESTAMP";
    case kFieldWord: return "WORD";
    case kFieldVarBytes: return "VARBYTES(" + n + ")";
    case kFieldLargeInt: return "LARGEINT";
    default: return "TYPE" + std::to_string(f.type);
  }
}

std::string SchemaStatements(TDataTable& t, const TextCodec& codec) {
  std::ostringstream s;
  const TDataFileHeader& h = t.Data().Header();
  const TIndexFileHeader& x = t.Index().Header();
  s << "CREATE TABLE " << SqlName(t.Name()) << " (";
  const auto& fields = t.Data().Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& f = fields[i];
    s << (i ? ",\n  " : "\n  ") << SqlName(f.name) << ' ' << SqlTypeName(f);
    if (f.required) s << " NOT NULL";
    if (!f.defaultValue.empty()) s << " DEFAULT " << Literal(f, codec.Show(f.defaultValue));
    if (!f.minimum.empty()) s << " MIN " << Literal(f, codec.Show(f.minimum));
    if (!f.maximum.empty()) s << " MAX " << Literal(f, codec.Show(f.maximum));
    if (!f.description.empty()) s << " DESCRIPTION " << SqlQuoted(codec.Show(f.description));
  }
  if (x.noPrimaryFields == 0 && x.slots[0].fieldCount > 0)
    s << ",\n  PRIMARY KEY " << IndexColumns(x.slots[0], t, false);
  s << "\n)";
  const std::string description(h.description.begin() + 1,
                                h.description.begin() + 1 + std::min<int>(h.description[0], 50));
  if (!description.empty()) s << " DESCRIPTION " << SqlQuoted(codec.Show(description));
  if (h.languageId != 0 || h.sortId != 0) s << " LOCALE " << h.languageId << ", " << h.sortId;
  if (h.blobBlockSize != 0) s << " BLOB BLOCK SIZE " << h.blobBlockSize;
  s << ";\n";
  for (int i = 1; i <= x.secondaryCount; ++i) {
    const TIndexDescriptor& d = x.slots[i];
    s << "CREATE " << (d.unique ? "UNIQUE " : "") << (d.descending ? "DESC " : "")
      << (d.caseInsensitive ? "NOCASE " : "") << "INDEX " << SqlName(d.name) << " ON "
      << SqlName(t.Name()) << ' ' << IndexColumns(d, t, !d.descending) << ";\n";
  }
  return s.str();
}

void WriteTableInfo(std::ostream& out, TDataTable& t, const TextCodec& codec) {
  TDataFile& data = t.Data();
  const TDataFileHeader& h = data.Header();
  const std::string description(h.description.begin() + 1,
                                h.description.begin() + 1 + std::min<int>(h.description[0], 50));
  out << "table " << t.Name() << "\n"
      << "data file: version " << int(h.version) << ", change counter " << h.changeCounter
      << ", engine version " << h.engineVersion << ", " << data.Handler().Length() << " bytes\n"
      << "  record length " << h.recordLength << ", fields " << h.fieldCount << ", BLOB fields "
      << h.blobFieldCount << "\n"
      << "  next record number " << h.nextRecordNumber << ", first free record "
      << h.firstFreeRecord << ", last row id " << h.lastRowId << "\n"
      << "  locale " << h.languageId << ", " << h.sortId << "; user version "
      << h.userMajorVersion << "." << h.userMinorVersion << "; BLOB block size "
      << h.EffectiveBlobBlockSize() << ", last BLOB serial " << h.lastBlobSerial
      << "; encrypted " << int(h.encrypted) << "\n"
      << "  description '" << codec.Show(description) << "'\n";
  out << "fields:\n";
  for (const TFieldDescriptor& f : data.Fields()) {
    out << "  " << f.number << ' ' << f.name << ' ' << SqlTypeName(f) << " (type " << int(f.type)
        << '/' << int(f.subtype) << ", offset " << f.offset << ", stored size "
        << int(f.storedSize) << ")";
    if (f.required) out << " required";
    if (!f.defaultValue.empty()) out << " default '" << codec.Show(f.defaultValue) << "'";
    if (!f.minimum.empty()) out << " min '" << codec.Show(f.minimum) << "'";
    if (!f.maximum.empty()) out << " max '" << codec.Show(f.maximum) << "'";
    if (!f.description.empty()) out << " '" << codec.Show(f.description) << "'";
    out << '\n';
  }
  const TIndexFileHeader& x = t.Index().Header();
  out << "index file: change counter " << x.changeCounter << ", pages " << x.nextPageNumber - 1
      << ", active records " << x.activeRecordCount << "\n";
  out << "indexes:\n";
  if (x.noPrimaryFields != 0 || x.slots[0].fieldCount == 0) {
    out << "  primary: none (no primary-key fields)\n";
  } else {
    out << "  primary " << IndexColumns(x.slots[0], t, true) << ", key length "
        << x.slots[0].keyLength << ", root page " << x.slots[0].rootPage << "\n";
  }
  for (int i = 1; i <= x.secondaryCount; ++i) {
    const TIndexDescriptor& d = x.slots[i];
    out << "  " << i << ' ' << d.name << ' ' << IndexColumns(d, t, true)
        << (d.unique ? " unique" : "") << (d.descending ? " descending" : "")
        << (d.caseInsensitive ? " nocase" : "") << ", key length " << d.keyLength
        << ", root page " << d.rootPage << "\n";
  }
  out << "  " << x.slots[kSysDeletedSlot].name << ", root page "
      << x.slots[kSysDeletedSlot].rootPage << "\n";
  if (TBlobFile* b = t.Blob()) {
    out << "BLOB file: change counter " << b->Header().changeCounter << ", blocks "
        << b->Header().nextBlockNumber - 1 << ", first free block "
        << b->Header().firstFreeBlock << "\n";
  }
}

}  // namespace kura::tool
