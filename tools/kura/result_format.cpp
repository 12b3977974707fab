#include "tools/kura/result_format.h"

#include <algorithm>
#include <cstdio>

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

std::string CsvField(const std::optional<std::string>& v) {
  if (!v) return "";
  if (v->find_first_of(",\"\r\n") == std::string::npos) return *v;
  std::string s = "\"";
  for (char c : *v) {
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

void WriteLines(std::ostream& out, const ResultTable& r, char sep,
                std::string (*field)(const std::optional<std::string>&)) {
  for (std::size_t i = 0; i < r.columns.size(); ++i)
    out << (i ? std::string(1, sep) : "") << field(r.columns[i]);
  out << '\n';
  for (const auto& row : r.rows) {
    for (std::size_t i = 0; i < row.size(); ++i)
      out << (i ? std::string(1, sep) : "") << field(row[i]);
    out << '\n';
  }
}

void WriteJson(std::ostream& out, const ResultTable& r) {
  out << '[';
  for (std::size_t n = 0; n < r.rows.size(); ++n) {
    out << (n ? ",\n " : "\n ") << '{';
    for (std::size_t i = 0; i < r.columns.size(); ++i) {
      out << (i ? ", " : "") << JsonString(r.columns[i]) << ": ";
      const auto& v = r.rows[n][i];
      if (!v) out << "null";
      else if (i < r.numeric.size() && r.numeric[i]) out << *v;
      else out << JsonString(*v);
    }
    out << '}';
  }
  out << (r.rows.empty() ? "]\n" : "\n]\n");
}

void Pad(std::ostream& out, const std::string& text, std::size_t width, bool right) {
  const std::size_t w = DisplayWidth(text);
  const std::string fill(width > w ? width - w : 0, ' ');
  if (right) out << fill << text;
  else out << text << fill;
}

void WriteTable(std::ostream& out, const ResultTable& r) {
  std::vector<std::size_t> widths;
  for (const auto& c : r.columns) widths.push_back(DisplayWidth(c));
  for (const auto& row : r.rows)
    for (std::size_t i = 0; i < row.size(); ++i)
      widths[i] = std::max(widths[i], DisplayWidth(row[i].value_or("NULL")));
  for (std::size_t i = 0; i < r.columns.size(); ++i) {
    out << (i ? " | " : "");
    Pad(out, r.columns[i], widths[i], false);
  }
  out << '\n';
  for (std::size_t i = 0; i < widths.size(); ++i) out << (i ? "-+-" : "") << std::string(widths[i], '-');
  out << '\n';
  for (const auto& row : r.rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      out << (i ? " | " : "");
      Pad(out, row[i].value_or("NULL"), widths[i], i < r.numeric.size() && r.numeric[i]);
    }
    out << '\n';
  }
  out << "(" << r.rows.size() << (r.rows.size() == 1 ? " row)\n" : " rows)\n");
}

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    char32_t c = len == 1 ? b : (b & (0x7F >> len));
    for (std::size_t k = 1; k < len && i + k < text.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    width += IsWide(c) ? 2 : 1;
    i += len;
  }
  return width;
}

void WriteResult(std::ostream& out, OutputFormat format, const ResultTable& result) {
  switch (format) {
    case OutputFormat::kTable: WriteTable(out, result); break;
    case OutputFormat::kTsv: WriteLines(out, result, '\t', TsvField); break;
    case OutputFormat::kCsv: WriteLines(out, result, ',', CsvField); break;
    case OutputFormat::kJson: WriteJson(out, result); break;
  }
}

}  // namespace kura::tool
