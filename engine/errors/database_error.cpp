#include "engine/errors/database_error.h"

namespace kura {

std::string FormatDatabaseError(std::string_view text, std::string_view argument) {
  std::string result(text);
  if (auto pos = result.find("%s"); pos != std::string::npos) {
    result.replace(pos, 2, argument);
  }
  return result;
}

void DatabaseError(std::string_view text, std::string_view argument) {
  throw EDatabaseError(FormatDatabaseError(text, argument));
}

}  // namespace kura
