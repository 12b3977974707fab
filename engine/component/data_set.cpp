#include "engine/component/data_set.h"

#include "engine/errors/kura_error.h"

namespace kura {

TField TDataSet::FieldByName(std::string_view name) {
  const int index = FindField(name);
  if (index < 0) Raise(KURA_OUTOFRANGE, {.field = std::string(name)});
  return TField(*this, index);
}

}  // namespace kura
