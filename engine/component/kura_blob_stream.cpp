#include "engine/component/kura_blob_stream.h"

#include <algorithm>
#include <cstring>

#include "engine/component/kura_query.h"
#include "engine/errors/database_error.h"

namespace kura {

TKuraBlobStream::TKuraBlobStream(TKuraQuery& query, int fieldIndex, TBlobStreamMode mode)
    : query_(query), field_(fieldIndex), mode_(mode) {
  const std::string& name = query.FieldName(fieldIndex);  // range check
  const bool editing = query.State() == TDataSetState::dsEdit ||
                       query.State() == TDataSetState::dsInsert;
  if (mode != TBlobStreamMode::bmRead && !editing) DatabaseError(kNotEditing);
  if (mode != TBlobStreamMode::bmRead && query.FieldDefs()[static_cast<std::size_t>(fieldIndex)].readOnly) {
    DatabaseError(kFieldReadOnly, name);
  }
  if (mode != TBlobStreamMode::bmWrite) {
    const sql::Value v = query.FieldValue(fieldIndex);
    if (!v.null) data_ = v.text;
  } else {
    modified_ = true;  // writing replaces the value, also with nothing
  }
}

TKuraBlobStream::~TKuraBlobStream() {
  try {
    Flush();
  } catch (...) {
    // Flush() reports failures to callers that want them.
  }
}

std::size_t TKuraBlobStream::Read(void* buffer, std::size_t n) {
  if (position_ >= data_.size()) return 0;
  const std::size_t count = std::min<std::size_t>(n, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, count);
  position_ += count;
  return count;
}

std::size_t TKuraBlobStream::Write(const void* buffer, std::size_t n) {
  if (mode_ == TBlobStreamMode::bmRead) DatabaseError(kFieldReadOnly, query_.FieldName(field_));
  if (position_ + n > data_.size()) data_.resize(position_ + n);
  std::memcpy(data_.data() + position_, buffer, n);
  position_ += n;
  modified_ = true;
  return n;
}

std::uint64_t TKuraBlobStream::Seek(std::uint64_t position) {
  position_ = std::min<std::uint64_t>(position, data_.size());
  return position_;
}

void TKuraBlobStream::Truncate() {
  if (mode_ == TBlobStreamMode::bmRead) DatabaseError(kFieldReadOnly, query_.FieldName(field_));
  data_.resize(position_);
  modified_ = true;
}

void TKuraBlobStream::Flush() {
  if (!modified_ || mode_ == TBlobStreamMode::bmRead) return;
  modified_ = false;
  sql::Value v = sql::Value::String(data_);
  v.type = sql::kTypeBlob;
  query_.SetFieldValue(field_, v);
}

}  // namespace kura
