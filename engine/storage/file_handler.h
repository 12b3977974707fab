// TFileHandler: one table file of one table object. It holds a handle on
// the process's shared file object and turns every failure into the
// engine's error for the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/file_list.h"

namespace kura {

// Raises the engine error for errno value `err` of a file operation on
// table `table`: ENOENT/ENOTDIR 11010, EACCES/EPERM/EROFS/EBUSY 11013,
// EMFILE/ENFILE 11012, EBADF 11014, ENOMEM 11016, EXDEV 11025, any other
// 11047 carrying the number.
[[noreturn]] void RaiseOsError(int err, const std::string& table);

class TFileHandler {
 public:
  // `path` is the full name (database directory + file name, "\" allowed);
  // `table` names the table in errors.
  TFileHandler(TFileList& list, std::string path, std::string table,
               const FileOpenMode& mode);
  ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // Opens the existing file (its name found without regard to case).
  // Raises the mapped error (11010 when it does not exist, 11013 when a
  // sharing mode refuses it).
  void Open();
  // Creates or overwrites the file; raises 11013 when it is open in the
  // process, the mapped error otherwise.
  void Create();
  // Releases the handle; does nothing when not open.
  void Close();

  bool IsOpen() const { return file_ != nullptr; }
  bool ReadOnly() const { return file_ != nullptr && file_->ReadOnly(); }
  bool ReadOnlyAttribute() const {
    return file_ != nullptr && file_->ReadOnlyAttribute();
  }
  const std::string& Path() const { return path_; }
  const std::string& Table() const { return table_; }

  // Reads up to n bytes at pos and returns the number read (fewer only at
  // the end of the file). A failed read raises 9217.
  std::size_t Read(std::uint64_t pos, void* buf, std::size_t n);
  // Reads exactly n bytes; fewer raises 9217.
  void ReadExact(std::uint64_t pos, void* buf, std::size_t n);
  // Writes n bytes at pos; a failed or short write raises 9218.
  void Write(std::uint64_t pos, const void* buf, std::size_t n);
  // Undo of a group of writes (a transaction's commit). While recording,
  // each Write first reads and keeps the bytes it will overwrite below the
  // file's length at BeginUndo (a failed read raises 9217 and writes
  // nothing). UndoWrites puts the kept bytes back, newest first, and cuts
  // the file to that length again, so that a group that failed half-way
  // leaves the file as it was; 9218 when that fails too. Recording ends
  // with UndoWrites or ForgetUndo.
  void BeginUndo();
  void UndoWrites();
  void ForgetUndo();
  // True while recording when a write or truncate was attempted since
  // BeginUndo.
  bool UndoHasWrites() const { return undo_ && undo_->wrote; }
  // Cuts or extends the file to `length`; failure raises 9218.
  void Truncate(std::uint64_t length);
  // Flushes the operating system's buffers; failure raises 9218.
  void Flush();
  // The file's length; failure raises the mapped error.
  std::uint64_t Length();
  // Locks a byte range: false when another user holds part of it, the
  // mapped error for any other failure.
  bool Lock(std::uint64_t offset, std::uint64_t length);
  // Unlocks a byte range; false when it fails.
  bool Unlock(std::uint64_t offset, std::uint64_t length);

  // Whole-file operations by name; `path` as in the constructor.
  static bool Exists(TFileList& list, const std::string& path, bool inMemory);
  static void Delete(TFileList& list, const std::string& path, bool inMemory,
                     const std::string& table);
  static void Rename(TFileList& list, const std::string& from,
                     const std::string& to, bool inMemory,
                     const std::string& table);
  // Copies the whole contents of open file `from` into `to` (cut to the
  // same length); 9217 / 9218 on a failed transfer.
  static void Copy(TFileHandler& from, TFileHandler& to);

 private:
  std::string OsPath() const;

  TFileList& list_;
  std::string path_;
  std::string table_;
  FileOpenMode mode_;
  TAbstractFile* file_ = nullptr;
  int handle_ = 0;
  struct SavedBytes {
    std::uint64_t pos;
    std::vector<std::uint8_t> bytes;
  };
  struct Undo {
    std::uint64_t length = 0;  // the file's length when recording began
    std::vector<SavedBytes> saved;
    bool wrote = false;
  };
  std::optional<Undo> undo_;
};

}  // namespace kura
