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
  // A commit's writes, staged so that its journal can be written before
  // any of them. After BeginUndo, Write does not touch the file: it keeps
  // its bytes and reads the bytes they will overwrite below the file's
  // length at BeginUndo (a failed read raises 9217 and keeps nothing);
  // Flush is left to the caller. ApplyWrites writes the kept bytes in
  // order (9218 when one fails). UndoWrites puts back the old bytes of the
  // writes applied so far, newest first, and cuts the file to its length
  // at BeginUndo, so that a group that failed half-way leaves the file as
  // it was; 9218 when that fails too. Recording ends with UndoWrites or
  // ForgetUndo.
  //
  // A single change outside a transaction records instead of staging
  // (`staging` false): each Write goes to the file at once after its old
  // bytes were kept, and UndoWrites puts them back the same way.
  void BeginUndo(bool staging = true);
  void ApplyWrites();
  void UndoWrites();
  void ForgetUndo();
  struct StagedWrite {
    std::uint64_t pos;
    std::vector<std::uint8_t> before;  // the part below the old length
    std::vector<std::uint8_t> after;
  };
  // The writes staged since BeginUndo (nullptr when not recording) and the
  // file's length then.
  const std::vector<StagedWrite>* UndoRecords() const { return undo_ ? &undo_->writes : nullptr; }
  std::uint64_t UndoLength() const { return undo_ ? undo_->length : 0; }
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
  struct Undo {
    std::uint64_t length = 0;  // the file's length when recording began
    std::vector<StagedWrite> writes;
    std::size_t applied = 0;  // writes that reached the file
    bool staging = true;
    bool record = false;      // a single change: writes made at once, each kept
    bool wrote = false;       // a write or truncate was attempted
  };
  std::optional<Undo> undo_;
};

}  // namespace kura
