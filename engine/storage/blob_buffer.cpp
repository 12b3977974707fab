#include "engine/storage/blob_buffer.h"

#include <algorithm>

#include "engine/errors/kura_error.h"

namespace kura {

void TBlobBuffer::Load(TBlobFile& blobs) {
  value_ = blobs.ReadValue(ref_);
  original_ = value_;
  modified_ = false;
}

void TBlobBuffer::Write(std::size_t offset, std::string_view bytes) {
  if (value_.size() < offset + bytes.size()) value_.resize(offset + bytes.size(), '\0');
  value_.replace(offset, bytes.size(), bytes);
  modified_ = value_ != original_;
}

void TBlobBuffer::Truncate(std::size_t length) {
  if (length < value_.size()) value_.resize(length);
  modified_ = value_ != original_;
}

std::string TBlobBuffer::Read(std::size_t offset, std::size_t n) const {
  if (offset >= value_.size()) return {};
  return value_.substr(offset, n);
}

void TBlobBuffer::Store(TBlobFile& blobs, TDataFile& data, std::uint8_t* rec) {
  if (!modified_) return;
  const std::int32_t serial = value_.empty() ? 0 : data.NextBlobSerial();
  ref_ = blobs.WriteValue(ref_, value_, serial);
  SetBlobRef(rec, data.Field(field_), ref_);
  original_ = value_;
  modified_ = false;
}

TBlobBuffer* BlobBufferSet::Open(TDataFile& data, TBlobFile& blobs, int field,
                                 std::int32_t record, const std::uint8_t* rec) {
  if (field < 1 || field > static_cast<int>(data.Fields().size()) ||
      data.Field(field).type != kFieldBlob) {
    const std::string name = field >= 1 && field <= static_cast<int>(data.Fields().size())
                                 ? data.Field(field).name
                                 : std::to_string(field);
    Raise(KURA_NOTABLOB, {.field = name, .table = data.Handler().Table()});
  }
  for (const auto& b : open_) {
    if (b->field_ == field && b->record_ == record) {
      ++b->openCount_;
      return b.get();
    }
  }
  if (open_.size() >= kMaxOpen) Raise(KURA_OPENBLOBLIMIT, {.table = data.Handler().Table()});
  auto buffer = std::make_unique<TBlobBuffer>(field, record, GetBlobRef(rec, data.Field(field)));
  buffer->Load(blobs);
  buffer->openCount_ = 1;
  open_.push_back(std::move(buffer));
  return open_.back().get();
}

void BlobBufferSet::Close(TBlobBuffer* buffer) {
  if (buffer == nullptr || --buffer->openCount_ > 0) return;
  open_.erase(std::find_if(open_.begin(), open_.end(),
                           [buffer](const auto& p) { return p.get() == buffer; }));
}

}  // namespace kura
