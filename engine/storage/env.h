// Env: the engine's one door to the operating system. Files, byte-range
// locks, directory entries, the clock, the thread id and sleeping all go
// through it, so that tests can swap in an in-memory system or inject
// failures.
//
// Calls report failure by returning an errno value (0 = success); they never
// throw. Mapping to engine errors is done by the file layer above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kura {

// An open file. One object per operating-system open; not thread-safe by
// itself (the file objects above serialise their calls).
class EnvFile {
 public:
  virtual ~EnvFile() = default;

  // Reads up to n bytes at `offset` into buf; *done gets the bytes read
  // (fewer at the end of the file). Returns 0 or an errno value.
  virtual int Read(std::uint64_t offset, void* buf, std::size_t n,
                   std::size_t* done) = 0;
  // Writes n bytes at `offset`; *done gets the bytes written.
  virtual int Write(std::uint64_t offset, const void* buf, std::size_t n,
                    std::size_t* done) = 0;
  virtual int Truncate(std::uint64_t length) = 0;
  // Flushes the file's data to the device.
  virtual int Sync() = 0;
  virtual int Length(std::uint64_t* length) = 0;
  // Takes a non-blocking lock on [offset, offset + length); `exclusive`
  // false takes a shared lock. A conflict with another open returns EAGAIN.
  // Locks of one EnvFile never conflict with each other.
  virtual int Lock(std::uint64_t offset, std::uint64_t length,
                   bool exclusive) = 0;
  virtual int Unlock(std::uint64_t offset, std::uint64_t length) = 0;
};

enum class OpenAccess { kReadOnly, kReadWrite };
enum class ShareMode { kShared, kExclusive };

struct OpenOptions {
  OpenAccess access = OpenAccess::kReadWrite;
  ShareMode share = ShareMode::kShared;
  bool create = false;  // create the file when it is missing
  bool truncate = true;  // with `create`: empty an existing file
  // With `create`: the file must not exist yet, not even as a symbolic
  // link (EEXIST otherwise), and is made readable by its owner only.
  bool createNew = false;
};

struct FileAttributes {
  bool exists = false;
  bool isDirectory = false;
  bool readOnly = false;  // no write permission in the file's mode
  std::uint64_t size = 0;  // length of a file in bytes
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens `path`. A shared open conflicts with an exclusive open of the same
  // file elsewhere and an exclusive one with any other open: such a sharing
  // violation returns EBUSY (EACCES means the permissions refuse the open).
  virtual int Open(const std::string& path, const OpenOptions& options,
                   std::unique_ptr<EnvFile>* file) = 0;
  virtual int Delete(const std::string& path) = 0;
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Attributes(const std::string& path, FileAttributes* attr) = 0;
  // Names of the entries of directory `dir` (without "." and "..").
  virtual int ListDirectory(const std::string& dir,
                            std::vector<std::string>* names) = 0;
  virtual int MakeDirectory(const std::string& dir) = 0;
  // Makes the entries of directory `dir` (files created or removed in it)
  // survive a power cut, as a file's Sync does for its data.
  virtual int SyncDirectory(const std::string& dir) = 0;
  // Makes a new directory below `parent` that only this user can enter,
  // under a name nobody can foresee ("kura-" and random characters), and
  // sets *made to its path.
  virtual int MakePrivateDirectory(const std::string& parent, std::string* made) = 0;
  // Removes the empty directory `dir`.
  virtual int RemoveDirectory(const std::string& dir) = 0;
  // Sets or clears the read-only attribute (write permission of the mode).
  virtual int SetReadOnly(const std::string& path, bool readOnly) = 0;
  virtual std::string CurrentDirectory() = 0;

  virtual std::int64_t ThreadId() = 0;
  // Milliseconds of a monotonic clock.
  virtual std::int64_t NowMillis() = 0;
  // Local date and time as days since 1899-12-30 with the time as fraction.
  virtual double LocalDateTime() = 0;
  virtual void SleepMillis(int ms) = 0;
  // A random number in 0 ... 65 535 for the read-lock slots.
  virtual std::uint32_t Random16() = 0;

  // The process's POSIX system.
  static Env* Default();
};

// A new, empty in-memory system: files, directories and locks live in
// memory. Locks conflict between different EnvFile objects, as they would
// between processes, so one MemEnv can stand for a disk shared by several
// simulated processes.
std::unique_ptr<Env> NewMemEnv();

}  // namespace kura
