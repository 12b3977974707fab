// EDatabaseError: the component layer's usage errors, plain database errors
// with fixed texts (they are not engine errors and carry no code).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kura {

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message)
      : std::runtime_error(message) {}
};

// The fixed texts; "%s" is filled by DatabaseError's argument.
inline constexpr std::string_view kNoSQLStatement = "No SQL statement available";
inline constexpr std::string_view kNoParameterValue = "No value for parameter '%s'";
inline constexpr std::string_view kCannotCreateHandle = "Error creating table handle.";
inline constexpr std::string_view kInvalidSessionName = "Session name %s is not valid.";
inline constexpr std::string_view kInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr std::string_view kDuplicateDatabaseName = "Database name %s already exists.";
inline constexpr std::string_view kDatabaseOpen = "Cannot perform this operation on an open database.";
inline constexpr std::string_view kNotEditing = "Table is not in edit or insert mode.";
inline constexpr std::string_view kFieldReadOnly = "Field %s cannot be modified.";
inline constexpr std::string_view kFieldNotIndexed = "Field %s is not in the current index.";
inline constexpr std::string_view kCircularDataLink = "Circular data links are not allowed.";
inline constexpr std::string_view kTransactionActive =
    "Transaction already in progress for database '%s'";
inline constexpr std::string_view kNoTransaction =
    "Transaction not in progress for database '%s'";

// `text` with its first "%s" replaced by `argument`.
std::string FormatDatabaseError(std::string_view text, std::string_view argument = {});

// Throws EDatabaseError with FormatDatabaseError(text, argument).
[[noreturn]] void DatabaseError(std::string_view text, std::string_view argument = {});

}  // namespace kura
