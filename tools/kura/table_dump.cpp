#include "tools/kura/table_dump.h"

#include <cstdio>
#include <stdexcept>

#include "engine/expr/evaluator.h"
#include "engine/expr/field_types.h"
#include "engine/storage/storage_cursor.h"
#include "tools/kura/table_report.h"

namespace kura::tool {
std::string SqlLiteral(const sql::Value& v, const TextCodec& codec) {
  if (v.null) return "NULL";
  if (v.type == sql::kTypeBytes || v.type == sql::kTypeVarBytes ||
      (v.type == sql::kTypeBlob && !sql::IsTextType(v.type, v.subType)))
    throw std::runtime_error("kura: bytes and binary BLOBs have no literal to dump");
  if (v.type == sql::kTypeFloat) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v.real);
    return buf;
  }
  const std::string text = sql::ConvertValue(v, sql::kTypeString, 0).text;
  if (sql::IsNumericType(v.type) || v.type == sql::kTypeBoolean) return text;
  return SqlQuoted(sql::IsTextType(v.type, v.subType) ? codec.Show(text) : text);
}

void WriteTableDump(std::ostream& out, TDataSession& session, TDataDirectory& directory,
                    const std::string& table, bool rawEncoding) {
  TDataCursor c(session, directory);
  c.Open(table, {.readOnly = true, .recordOrder = true});
  TDataTable& t = c.Table();
  const TextCodec codec(t.Data().Header().languageId, t.Data().Header().sortId, rawEncoding);
  out << SchemaStatements(t, codec);
  // AUTOINC columns take no values in INSERT: the rebuilt rows are numbered
  // anew, which the dump says.
  std::vector<int> columns;
  std::string names;
  for (const TFieldDescriptor& f : t.Data().Fields()) {
    if (f.IsAutoIncrement()) {
      out << "/* " << SqlName(f.name) << " is AUTOINC: the rows below are numbered anew */\n";
      continue;
    }
    columns.push_back(f.number);
    names += (names.empty() ? "" : ", ") + SqlName(f.name);
  }
  c.First();
  while (!columns.empty() && c.Next()) {
    c.ReadCurrent();
    out << "INSERT INTO " << SqlName(t.Name()) << " (" << names << ") VALUES (";
    for (std::size_t i = 0; i < columns.size(); ++i)
      out << (i ? ", " : "") << SqlLiteral(c.GetField(c.Image(), columns[i]), codec);
    out << ");\n";
  }
  c.Close();
}

std::vector<std::vector<std::optional<std::string>>> ParseCsv(std::string_view text) {
  std::vector<std::vector<std::optional<std::string>>> records;
  std::vector<std::optional<std::string>> record;
  std::size_t line = 1;
  // A byte order mark that spreadsheet programs put first is no text.
  std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (i < text.size()) {
    std::optional<std::string> field;
    if (text[i] == '"') {
      const std::size_t opened = line;
      field.emplace();
      for (++i;; ++i) {
        if (i >= text.size())
          throw std::runtime_error("kura: the quote opened on line " + std::to_string(opened) +
                                   " does not end");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            *field += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          if (text[i] == '\n') ++line;
          *field += text[i];
        }
      }
    } else {
      const std::size_t end = text.find_first_of(",\r\n", i);
      const std::size_t stop = end == std::string_view::npos ? text.size() : end;
      if (stop > i) field = std::string(text.substr(i, stop - i));
      i = stop;
    }
    if (i < text.size() && text.find_first_of(",\r\n", i) != i)
      throw std::runtime_error("kura: text after a closing quote on line " + std::to_string(line));
    record.push_back(std::move(field));
    if (i < text.size() && text[i] == ',') {
      ++i;
      if (i == text.size()) record.emplace_back();
      continue;
    }
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') {
      ++i;
      ++line;
    }
    records.push_back(std::move(record));
    record.clear();
  }
  return records;
}

}  // namespace kura::tool
