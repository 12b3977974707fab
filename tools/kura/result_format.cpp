#include "tools/kura/result_format.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kura::tool {
namespace {

std::string TsvField(const std::optional<std::string>& v) {
  if (!v) return "\\N";
  std::string s;
  for (char c : *v) {
    if (c == '\t') s += "\\t";
    else if (c == '\n') s += "\\n";
    else if (c == '\\') s += "\\\\";
    else s += c;
  }
  return s;
}

std::string CsvField(const std::string& v) {
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string s = "\"";
  for (char c : v) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

std::string JsonString(const std::string& v) {
  std::string s = "\"";
  for (char c : v) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (c == '\n') {
      s += "\\n";
    } else if (c == '\t') {
      s += "\\t";
    } else if (c == '\r') {
      s += "\\r";
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      s += buf;
    } else {
      s += c;
    }
  }
  return s + "\"";
}

std::string JsonValue(const std::optional<std::string>& v, ColumnKind kind) {
  if (!v) return "null";
  if (kind == ColumnKind::kNumber) return *v;
  if (kind == ColumnKind::kBoolean && (*v == "TRUE" || *v == "FALSE"))
    return *v == "TRUE" ? "true" : "false";
  return JsonString(*v);
}

void Pad(std::ostream& out, const std::string& text, std::size_t width, bool right) {
  const std::size_t w = DisplayWidth(text);
  const std::string fill(width > w ? width - w : 0, ' ');
  if (right) out << fill << text;
  else out << text << fill;
}

}  // namespace

ResultWriter::ResultWriter(std::ostream& out, const OutputStyle& style,
                           std::vector<std::string> columns, std::vector<ColumnKind> kinds)
    : out_(out), style_(style), columns_(std::move(columns)), kinds_(std::move(kinds)) {
  kinds_.resize(columns_.size(), ColumnKind::kText);
  if (!style_.headers) {
  } else if (style_.format == OutputFormat::kTsv || style_.format == OutputFormat::kCsv) {
    ResultRow header(columns_.begin(), columns_.end());
    const bool tsv = style_.format == OutputFormat::kTsv;
    for (std::size_t i = 0; i < header.size(); ++i)
      out_ << (i ? (tsv ? "\t" : ",") : "") << (tsv ? TsvField(header[i]) : CsvField(*header[i]));
    out_ << '\n';
  }
  if (style_.format == OutputFormat::kJson) out_ << '[';
}

bool ResultWriter::Right(std::size_t column) const {
  return column < kinds_.size() && kinds_[column] == ColumnKind::kNumber;
}

void ResultWriter::WriteTableRow(const ResultRow& row, bool header) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    out_ << (i ? " | " : "");
    const std::size_t width = i < widths_.size() ? widths_[i] : 0;
    Pad(out_, row[i] ? *row[i] : style_.nullText, width, !header && Right(i));
  }
  out_ << '\n';
}

void ResultWriter::Release() {
  released_ = true;
  widths_.assign(columns_.size(), 0);
  for (std::size_t i = 0; i < columns_.size(); ++i) widths_[i] = DisplayWidth(columns_[i]);
  for (const ResultRow& row : held_)
    for (std::size_t i = 0; i < row.size() && i < widths_.size(); ++i)
      widths_[i] = std::max(widths_[i], DisplayWidth(row[i] ? *row[i] : style_.nullText));
  if (style_.headers) {
    WriteTableRow(ResultRow(columns_.begin(), columns_.end()), true);
    for (std::size_t i = 0; i < widths_.size(); ++i)
      out_ << (i ? "-+-" : "") << std::string(widths_[i], '-');
    out_ << '\n';
  }
  for (const ResultRow& row : held_) WriteTableRow(row, false);
  held_.clear();
  held_.shrink_to_fit();
}

void ResultWriter::Row(ResultRow row) {
  ++count_;
  switch (style_.format) {
    case OutputFormat::kTable:
      if (released_) {
        WriteTableRow(row, false);
      } else {
        held_.push_back(std::move(row));
        if (held_.size() >= kAlignedRows) Release();
      }
      break;
    case OutputFormat::kTsv:
      for (std::size_t i = 0; i < row.size(); ++i) out_ << (i ? "\t" : "") << TsvField(row[i]);
      out_ << '\n';
      break;
    case OutputFormat::kCsv:
      for (std::size_t i = 0; i < row.size(); ++i)
        out_ << (i ? "," : "") << CsvField(row[i] ? *row[i] : style_.nullText);
      out_ << '\n';
      break;
    case OutputFormat::kJson:
      out_ << (count_ > 1 ? ",\n " : "\n ") << '{';
      for (std::size_t i = 0; i < row.size() && i < columns_.size(); ++i)
        out_ << (i ? ", " : "") << JsonString(columns_[i]) << ": " << JsonValue(row[i], kinds_[i]);
      out_ << '}';
      break;
  }
}

void ResultWriter::Finish() {
  if (style_.format == OutputFormat::kTable) {
    if (!released_) Release();
    out_ << "(" << count_ << (count_ == 1 ? " row)\n" : " rows)\n");
  } else if (style_.format == OutputFormat::kJson) {
    out_ << (count_ == 0 ? "]\n" : "\n]\n");
  }
}

void WriteResult(std::ostream& out, OutputFormat format, const ResultTable& result) {
  std::vector<ColumnKind> kinds;
  for (bool n : result.numeric) kinds.push_back(n ? ColumnKind::kNumber : ColumnKind::kText);
  OutputStyle style;
  style.format = format;
  ResultWriter writer(out, style, result.columns, kinds);
  for (const ResultRow& row : result.rows) writer.Row(row);
  writer.Finish();
}

std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      ++width;  // a byte that is not UTF-8 takes one column
      continue;
    }
    const int category = u_charType(c);
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || c == 0x200B) continue;
    const int eaw = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    width += (eaw == U_EA_WIDE || eaw == U_EA_FULLWIDTH) ? 2 : 1;
  }
  return width;
}

}  // namespace kura::tool
