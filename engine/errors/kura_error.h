// EKuraEngineError: the one exception by which the engine reports a failure,
// and Raise, the one way to throw it.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include "engine/errors/error_codes.h"

namespace kura {

// The names involved in a failure. Members that do not apply stay empty.
// Each is cut to 255 characters when it is stored in the error context.
struct ErrorNames {
  std::string server{};
  std::string user{};
  std::string message{};
  std::string index{};
  std::string field{};
  std::string table{};
  std::string database{};
};

class EKuraEngineError : public std::runtime_error {
 public:
  // Reads the code's values back from the process-wide error context, which
  // the caller (Raise) has just filled under its lock.
  EKuraEngineError(kura::ErrorCode code, const ErrorNames& names,
                   std::int32_t osErrorCode, std::int32_t socketErrorCode);

  kura::ErrorCode ErrorCode() const { return code_; }
  std::int32_t OSErrorCode() const { return osErrorCode_; }
  std::int32_t SocketErrorCode() const { return socketErrorCode_; }
  const std::string& ServerName() const { return names_.server; }
  const std::string& UserName() const { return names_.user; }
  const std::string& DatabaseName() const { return names_.database; }
  const std::string& TableName() const { return names_.table; }
  const std::string& FieldName() const { return names_.field; }
  const std::string& IndexName() const { return names_.index; }
  const std::string& MessageText() const { return names_.message; }

 private:
  kura::ErrorCode code_;
  std::int32_t osErrorCode_;
  std::int32_t socketErrorCode_;
  ErrorNames names_;
};

// Throws EKuraEngineError for `code`. The operating-system error code is the
// calling thread's errno at the time of the call; the socket error code is
// always 0 (there is no socket layer).
[[noreturn]] void Raise(ErrorCode code, const std::string& serverName,
                        const std::string& userName,
                        const std::string& messageText,
                        const std::string& indexName,
                        const std::string& fieldName,
                        const std::string& tableName,
                        const std::string& databaseName);

// The same with the names given by member: Raise(KURA_KEYVIOL,
// {.index = "X", .table = "figure"}).
[[noreturn]] void Raise(ErrorCode code, const ErrorNames& names = {});

// Like Raise, but with an explicit operating-system error code (used where
// the failing call's errno has already been saved).
[[noreturn]] void RaiseWithOsError(ErrorCode code, std::int32_t osErrorCode,
                                   const ErrorNames& names = {});

// The text of `code` with the names put into its "%s" in the order of the
// code table, cut to 254 characters; "An unknown error occurred" for a code
// without a text.
std::string ErrorText(ErrorCode code, const ErrorNames& names,
                      std::int32_t osErrorCode);

// "Kura Engine Error # " + code + " " + ErrorText(...).
std::string ErrorMessage(ErrorCode code, const ErrorNames& names,
                         std::int32_t osErrorCode);

// The code of any exception: the error code of an EKuraEngineError, 11047
// for every other exception.
ErrorCode ErrorCodeOf(const std::exception& e);
ErrorCode ErrorCodeOf(const std::exception_ptr& e);

inline constexpr std::size_t kMaxErrorNameLength = 255;
inline constexpr std::size_t kMaxErrorTextLength = 254;

}  // namespace kura
