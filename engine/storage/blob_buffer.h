// TBlobBuffer: one BLOB value that a cursor has opened, and the set of a
// cursor's open values (at most 128).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/blob_file.h"
#include "engine/storage/record_file.h"

namespace kura {

class TBlobBuffer {
 public:
  TBlobBuffer(int field, std::int32_t record, BlobRef ref)
      : field_(field), record_(record), ref_(ref) {}

  int Field() const { return field_; }
  std::int32_t Record() const { return record_; }
  BlobRef Ref() const { return ref_; }
  const std::string& Value() const { return value_; }
  bool Modified() const { return modified_; }
  int OpenCount() const { return openCount_; }

  // Reads the value from `blobs` (8708 when it was rewritten meanwhile).
  void Load(TBlobFile& blobs);
  // Replaces bytes [offset, offset + bytes.size()) of the value, growing it
  // as needed; marks it modified when anything differs.
  void Write(std::size_t offset, std::string_view bytes);
  // Cuts the value to `length` bytes.
  void Truncate(std::size_t length);
  // Up to n bytes from `offset`.
  std::string Read(std::size_t offset, std::size_t n) const;
  // Writes a modified value under a new serial into `blobs` and stores the
  // new reference in the record image `rec`. Call under the write lock.
  void Store(TBlobFile& blobs, TDataFile& data, std::uint8_t* rec);

 private:
  friend class BlobBufferSet;
  int field_;
  std::int32_t record_;
  BlobRef ref_;
  std::string value_;
  std::string original_;
  bool modified_ = false;
  int openCount_ = 0;
};

// The BLOB values one cursor has open.
class BlobBufferSet {
 public:
  static constexpr std::size_t kMaxOpen = 128;

  // Opens field `field` of record `record` (image `rec`): the value already
  // open for that field and record gets another opening; otherwise it is
  // loaded. 10753 when the field is not a BLOB field, 9494 for a 129th value.
  TBlobBuffer* Open(TDataFile& data, TBlobFile& blobs, int field, std::int32_t record,
                    const std::uint8_t* rec);
  // One opening less; the buffer goes with the last.
  void Close(TBlobBuffer* buffer);
  std::size_t Size() const { return open_.size(); }

 private:
  std::vector<std::unique_ptr<TBlobBuffer>> open_;
};

}  // namespace kura
