// The process's open table files. Every operating-system file is opened
// once per process however many tables, sessions and cursors use it; each
// user holds a handle number on the shared file object.
//
// Byte-range locks keep the semantics of the table format's lock protocol:
// a lock is not re-entrant, and a range held by any user of the process is
// refused to every other user of the process, just as it is refused to
// other processes by the operating system's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/storage/env.h"

namespace kura {

// Base of disk and in-memory files. All calls are serialised by the file's
// own mutex and return 0 or an errno value.
class TAbstractFile {
 public:
  TAbstractFile(std::string name, bool exclusive, bool readOnly,
                bool readOnlyAttribute);
  virtual ~TAbstractFile() = default;
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  const std::string& Name() const { return name_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return readOnly_; }
  bool ReadOnlyAttribute() const { return readOnlyAttribute_; }

  int Read(std::uint64_t pos, void* buf, std::size_t n, std::size_t* done);
  int Write(std::uint64_t pos, const void* buf, std::size_t n, std::size_t* done);
  int Truncate(std::uint64_t length);
  int Flush();
  int Length(std::uint64_t* length);
  // EAGAIN when any part of the range is held in this process or, for a disk
  // file, by another process. A range whose unlock failed earlier and still
  // fails refuses an overlapping request with that unlock's errno value.
  int LockRange(std::uint64_t offset, std::uint64_t length);
  // ENOLCK when exactly this range is not held. When the system fails the
  // unlock, its errno value is returned and the range is remembered as owed:
  // no user of the process holds it any more, but the operating system may.
  // Owed unlocks are tried again at every later lock or unlock call of the
  // file; closing the file releases whatever is left.
  int UnlockRange(std::uint64_t offset, std::uint64_t length);

 protected:
  virtual int DoRead(std::uint64_t pos, void* buf, std::size_t n,
                     std::size_t* done) = 0;
  virtual int DoWrite(std::uint64_t pos, const void* buf, std::size_t n,
                      std::size_t* done) = 0;
  virtual int DoTruncate(std::uint64_t length) = 0;
  virtual int DoFlush() = 0;
  virtual int DoLength(std::uint64_t* length) = 0;
  virtual int DoLock(std::uint64_t offset, std::uint64_t length) = 0;
  virtual int DoUnlock(std::uint64_t offset, std::uint64_t length) = 0;

 private:
  friend class TFileList;
  struct Range {
    std::uint64_t offset;
    std::uint64_t length;
    int err = 0;  // for an owed unlock: the errno value of its last attempt
  };
  // Tries every owed unlock again; those that still fail stay owed.
  void SettleOwedLocked();

  std::string name_;
  bool exclusive_;  // set by the owning TFileList under its mutex
  const bool readOnly_;
  const bool readOnlyAttribute_;
  std::mutex mu_;
  std::vector<Range> held_;  // guarded by mu_: ranges locked in this process
  std::vector<Range> owed_;  // guarded by mu_: ranges whose unlock failed
  // Handle numbers in use; guarded by the owning TFileList's mutex.
  std::vector<int> handles_;
  int nextHandle_ = 1;
  bool deleteOnClose_ = false;
  bool inMemory_ = false;
};

// A file of the operating system, reached through an Env.
class TPhysicalFile final : public TAbstractFile {
 public:
  TPhysicalFile(std::string name, std::unique_ptr<EnvFile> file, bool exclusive,
                bool readOnly, bool readOnlyAttribute);

 protected:
  int DoRead(std::uint64_t pos, void* buf, std::size_t n, std::size_t* done) override;
  int DoWrite(std::uint64_t pos, const void* buf, std::size_t n,
              std::size_t* done) override;
  int DoTruncate(std::uint64_t length) override;
  int DoFlush() override;
  int DoLength(std::uint64_t* length) override;
  int DoLock(std::uint64_t offset, std::uint64_t length) override;
  int DoUnlock(std::uint64_t offset, std::uint64_t length) override;

 private:
  std::unique_ptr<EnvFile> file_;
};

// A file of an in-memory table: its contents in a block grown in steps of
// 4096 bytes. Its locks are only the in-process ranges of the base class.
class TMemoryFile final : public TAbstractFile {
 public:
  explicit TMemoryFile(std::string name);

 protected:
  int DoRead(std::uint64_t pos, void* buf, std::size_t n, std::size_t* done) override;
  int DoWrite(std::uint64_t pos, const void* buf, std::size_t n,
              std::size_t* done) override;
  int DoTruncate(std::uint64_t length) override;
  int DoFlush() override { return 0; }
  int DoLength(std::uint64_t* length) override;
  int DoLock(std::uint64_t, std::uint64_t) override { return 0; }
  int DoUnlock(std::uint64_t, std::uint64_t) override { return 0; }

 private:
  std::vector<std::uint8_t> block_;  // capacity grown in 4096-byte steps
  std::uint64_t length_ = 0;
};

struct FileOpenMode {
  bool inMemory = false;
  bool exclusive = false;
  bool temporary = false;  // deleted when its last handle closes
  // A file that is created must not exist yet (not even as a link); set
  // for temporary files, made readable by their owner only.
  bool createNew = false;
};

// The list of open file objects of one process (tests may make more than
// one, each standing for a process, over one shared Env).
class TFileList {
 public:
  explicit TFileList(Env* env);
  ~TFileList();

  // The process's list over the POSIX Env.
  static TFileList& Process();

  Env& GetEnv() { return *env_; }

  // Opens `path` (an operating-system path, or the name of an in-memory
  // file) and gives it a new handle. Returns 0 or an errno value: ENOENT
  // when it does not exist, EACCES when the file object or the request is
  // exclusive. A file that cannot be opened for writing opens read-only.
  int Open(const std::string& path, const FileOpenMode& mode,
           TAbstractFile** file, int* handle);
  // Creates or overwrites `path`, exclusively for the caller (EACCES when
  // it is open in the process), and gives it a handle.
  int Create(const std::string& path, const FileOpenMode& mode,
             TAbstractFile** file, int* handle);
  // Releases `handle`; the last handle closes the file (an in-memory file
  // keeps its contents unless it is temporary).
  void Close(TAbstractFile* file, int handle);
  // True when a file object of that name and kind has handles.
  bool IsOpen(const std::string& path, bool inMemory);
  // In-memory files: existence, deletion and renaming.
  bool MemoryFileExists(const std::string& name);
  int DeleteMemoryFile(const std::string& name);
  int RenameMemoryFile(const std::string& from, const std::string& to);

 private:
  TAbstractFile* FindLocked(const std::string& path, bool inMemory);
  int OpenDiskLocked(const std::string& path, const FileOpenMode& mode,
                     bool create, std::unique_ptr<TAbstractFile>* out);
  int AddHandleLocked(TAbstractFile* file);

  Env* env_;
  std::mutex mu_;
  std::vector<std::unique_ptr<TAbstractFile>> files_;  // guarded by mu_
};

}  // namespace kura
