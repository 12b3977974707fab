// Names of tables, directories and files: trimming, comparison without
// regard to case, the three file names of a table, and finding a file on a
// case-sensitive file system whatever the case of its name.
#pragma once

#include <string>
#include <string_view>

namespace kura {

class Env;

inline constexpr std::string_view kDataExtension = ".DAT";
inline constexpr std::string_view kIndexExtension = ".IDX";
inline constexpr std::string_view kBlobExtension = ".BLB";
inline constexpr std::string_view kDataBackupExtension = ".DBK";
inline constexpr std::string_view kIndexBackupExtension = ".IBK";
inline constexpr std::string_view kBlobBackupExtension = ".BBK";

// `s` without leading and trailing blanks.
std::string TrimBlanks(std::string_view s);
// `s` with a-z upper-cased; other bytes unchanged.
std::string UpperAscii(std::string_view s);
// True when a and b are equal without regard to the case of a-z.
bool EqualNoCase(std::string_view a, std::string_view b);

// The file name of table `table` (trimmed) with extension `ext`: a ".DAT"
// ending (any case) is replaced by `ext`, otherwise `ext` is appended. A
// table lives inside its database's directory: a name holding a path
// separator ("/" or "\") or a NUL byte, and a name that is empty, "." or
// ".." (after the ending is taken off) is refused with 11013.
std::string TableFileName(std::string_view table, std::string_view ext);

// `path` with every "\" turned into "/" for the operating system.
std::string ToOsPath(std::string_view path);

// The operating-system path of `path`: "\" becomes "/", and each component
// that does not exist with its exact name is replaced by the directory
// entry that matches it without regard to case (the first in directory
// order when several do). Components that match nothing stay as given.
std::string ResolvePath(Env& env, std::string_view path);

}  // namespace kura
