// SqlError: raises a message of the SQL front end as engine error 11949,
// whose text is "SQL error - " followed by the message.
#pragma once

#include <string>

#include "engine/errors/kura_error.h"

namespace kura::sql {

[[noreturn]] inline void SqlError(const std::string& message) {
  Raise(KURA_SQLPARSE, {.message = message});
}

}  // namespace kura::sql
