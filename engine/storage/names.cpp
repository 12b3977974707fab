#include "engine/storage/names.h"

#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/env.h"

namespace kura {

std::string TrimBlanks(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string TableFileName(std::string_view table, std::string_view ext) {
  std::string name = TrimBlanks(table);
  if (name.size() >= kDataExtension.size() &&
      EqualNoCase(std::string_view(name).substr(name.size() - kDataExtension.size()),
                  kDataExtension)) {
    name.resize(name.size() - kDataExtension.size());
  }
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    Raise(KURA_OSEACCES, {.table = TrimBlanks(table)});
  }
  return name + std::string(ext);
}

std::string ToOsPath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string ResolvePath(Env& env, std::string_view rawPath) {
  const std::string path = ToOsPath(rawPath);
  FileAttributes attr;
  if (env.Attributes(path, &attr) == 0) return path;
  std::string resolved = path.starts_with('/') ? "/" : "";
  std::size_t pos = path.starts_with('/') ? 1 : 0;
  bool found = true;  // every component so far exists
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    const std::string dir = resolved.empty() ? "." : resolved;
    std::string chosen = part;
    if (found && env.Attributes(resolved + part, &attr) != 0) {
      std::vector<std::string> names;
      found = false;
      if (env.ListDirectory(dir, &names) == 0) {
        for (const std::string& n : names) {
          if (EqualNoCase(n, part)) {
            chosen = n;
            found = true;
            break;
          }
        }
      }
    }
    resolved += chosen;
    if (slash < path.size()) resolved += '/';
  }
  return resolved;
}

}  // namespace kura
