#include "engine/errors/kura_error.h"

#include <cerrno>
#include <mutex>

namespace kura {
namespace {

// The process-wide error context. Each raise clears, fills and reads it back
// under `mutex`, so two threads that fail at once each get their own values.
struct ErrorContext {
  std::mutex mutex;
  ErrorCode code = 0;                 // guarded by mutex
  std::int32_t osErrorCode = 0;       // guarded by mutex
  std::int32_t socketErrorCode = 0;   // guarded by mutex
  ErrorNames names;                   // guarded by mutex
};

ErrorContext& Context() {
  static ErrorContext context;
  return context;
}

std::string Cut(const std::string& s, std::size_t limit) {
  return s.size() <= limit ? s : s.substr(0, limit);
}

const std::string& SlotValue(ErrorSlot slot, const ErrorNames& names,
                             const std::string& osErrorText) {
  switch (slot) {
    case ErrorSlot::kServer: return names.server;
    case ErrorSlot::kUser: return names.user;
    case ErrorSlot::kDatabase: return names.database;
    case ErrorSlot::kTable: return names.table;
    case ErrorSlot::kField: return names.field;
    case ErrorSlot::kIndex: return names.index;
    case ErrorSlot::kMessage: return names.message;
    case ErrorSlot::kOsErrorCode: return osErrorText;
  }
  return names.message;
}

[[noreturn]] void RaiseFilled(ErrorCode code, std::int32_t osErrorCode,
                              const ErrorNames& names) {
  ErrorContext& ctx = Context();
  std::unique_lock lock(ctx.mutex);
  ctx.code = 0;
  ctx.osErrorCode = 0;
  ctx.socketErrorCode = 0;
  ctx.names = ErrorNames{};
  ctx.code = code;
  ctx.osErrorCode = osErrorCode;
  ctx.socketErrorCode = 0;
  ctx.names.server = Cut(names.server, kMaxErrorNameLength);
  ctx.names.user = Cut(names.user, kMaxErrorNameLength);
  ctx.names.message = Cut(names.message, kMaxErrorNameLength);
  ctx.names.index = Cut(names.index, kMaxErrorNameLength);
  ctx.names.field = Cut(names.field, kMaxErrorNameLength);
  ctx.names.table = Cut(names.table, kMaxErrorNameLength);
  ctx.names.database = Cut(names.database, kMaxErrorNameLength);
  EKuraEngineError error(ctx.code, ctx.names, ctx.osErrorCode,
                         ctx.socketErrorCode);
  lock.unlock();
  throw error;
}

}  // namespace

EKuraEngineError::EKuraEngineError(kura::ErrorCode code,
                                   const ErrorNames& names,
                                   std::int32_t osErrorCode,
                                   std::int32_t socketErrorCode)
    : std::runtime_error(ErrorMessage(code, names, osErrorCode)),
      code_(code),
      osErrorCode_(osErrorCode),
      socketErrorCode_(socketErrorCode),
      names_(names) {}

void Raise(ErrorCode code, const std::string& serverName,
           const std::string& userName, const std::string& messageText,
           const std::string& indexName, const std::string& fieldName,
           const std::string& tableName, const std::string& databaseName) {
  const std::int32_t osError = errno;
  RaiseFilled(code, osError,
              ErrorNames{serverName, userName, messageText, indexName,
                         fieldName, tableName, databaseName});
}

void Raise(ErrorCode code, const ErrorNames& names) {
  const std::int32_t osError = errno;
  RaiseFilled(code, osError, names);
}

void RaiseWithOsError(ErrorCode code, std::int32_t osErrorCode,
                      const ErrorNames& names) {
  RaiseFilled(code, osErrorCode, names);
}

std::string ErrorText(ErrorCode code, const ErrorNames& names,
                      std::int32_t osErrorCode) {
  const ErrorTemplate* t = FindErrorTemplate(code);
  if (t == nullptr) return "An unknown error occurred";
  const std::string osErrorText = std::to_string(osErrorCode);
  std::string text;
  std::size_t filled = 0;
  std::string_view rest = t->text;
  for (auto pos = rest.find("%s"); pos != std::string_view::npos;
       pos = rest.find("%s")) {
    text.append(rest.substr(0, pos));
    if (filled < t->fillCount) {
      text.append(SlotValue(t->fill[filled++], names, osErrorText));
    }
    rest.remove_prefix(pos + 2);
  }
  text.append(rest);
  return Cut(text, kMaxErrorTextLength);
}

std::string ErrorMessage(ErrorCode code, const ErrorNames& names,
                         std::int32_t osErrorCode) {
  return "Kura Engine Error # " + std::to_string(code) + " " +
         ErrorText(code, names, osErrorCode);
}

ErrorCode ErrorCodeOf(const std::exception& e) {
  if (auto* k = dynamic_cast<const EKuraEngineError*>(&e)) return k->ErrorCode();
  return KURA_OSUNKNOWN;
}

ErrorCode ErrorCodeOf(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ErrorCodeOf(ex);
  } catch (...) {
    return KURA_OSUNKNOWN;
  }
}

}  // namespace kura
