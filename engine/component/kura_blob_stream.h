// TKuraBlobStream: a stream over one BLOB or memo field of a query's
// current row. Opened for reading it holds the field's whole value; opened
// for writing (the query must be in edit or insert state) it starts empty
// and its contents become the field's value at Flush() or destruction, to
// be stored with the row at the next post.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kura {

class TKuraQuery;

enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

class TKuraBlobStream {
 public:
  // `query` must outlive the stream. Raises "Table is not in edit or insert
  // mode." for a writing mode in browse state, and 9985 for a field index
  // out of range.
  TKuraBlobStream(TKuraQuery& query, int fieldIndex, TBlobStreamMode mode);
  // Flushes a written stream; errors are swallowed here (call Flush()).
  ~TKuraBlobStream();
  TKuraBlobStream(const TKuraBlobStream&) = delete;
  TKuraBlobStream& operator=(const TKuraBlobStream&) = delete;

  // Reads up to n bytes at the position; returns the bytes read.
  std::size_t Read(void* buffer, std::size_t n);
  // Writes n bytes at the position (bmRead: raises "Field %s cannot be
  // modified."); returns n.
  std::size_t Write(const void* buffer, std::size_t n);
  std::uint64_t Seek(std::uint64_t position);
  std::uint64_t Position() const { return position_; }
  std::uint64_t Size() const { return data_.size(); }
  void Truncate();
  // Assigns the written contents to the field (nothing when unchanged).
  void Flush();

 private:
  TKuraQuery& query_;
  int field_;
  TBlobStreamMode mode_;
  std::string data_;
  std::uint64_t position_ = 0;
  bool modified_ = false;
};

}  // namespace kura
