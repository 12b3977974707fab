// SqlError: raises a message of the SQL front end as engine error 11949,
// whose text is "SQL error - " followed by the message. SqlErrorAt raises
// the same error and keeps the offset of the offending token in the
// statement text, for tools that show where the statement went wrong.
#pragma once

#include <cstddef>
#include <string>

#include "engine/errors/kura_error.h"

namespace kura::sql {

[[noreturn]] inline void SqlError(const std::string& message) {
  Raise(KURA_SQLPARSE, {.message = message});
}

// Error 11949 that knows where in the statement text it was found. Callers
// that catch EKuraEngineError see it unchanged.
class ESqlPositionedError : public EKuraEngineError {
 public:
  ESqlPositionedError(const EKuraEngineError& error, std::size_t offset)
      : EKuraEngineError(error), offset_(offset) {}
  // Byte offset of the offending token in the text given to the parser.
  std::size_t Offset() const { return offset_; }

 private:
  std::size_t offset_;
};

[[noreturn]] inline void SqlErrorAt(const std::string& message, std::size_t offset) {
  try {
    SqlError(message);
  } catch (const EKuraEngineError& e) {
    throw ESqlPositionedError(e, offset);
  }
}

}  // namespace kura::sql
