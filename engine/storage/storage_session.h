// TDataSession: the storage settings of one session and the file list its
// tables use. The component layer creates one per session and sets the
// settings from its properties; tests shorten the lock waits here.
#pragma once

#include <cstdint>
#include <string>

#include "engine/storage/file_format.h"
#include "engine/storage/file_list.h"

namespace kura {

struct StorageSettings {
  // Record locks: attempts after the first one, and the pause between them.
  std::uint8_t lockRetryCount = 15;
  std::uint16_t lockWaitMs = 100;
  // Read, write and table locks: attempts in all, and the pause before each
  // retry. Changing these is for tests; other users of shared tables wait
  // as long as the defaults.
  int tableLockAttempts = kTableLockAttempts;
  int tableLockPauseMs = kTableLockPauseMs;
  // When on, each cursor operation holds the read lock for its whole
  // duration; when off, every cache miss and record lock re-checks the
  // headers under a short read lock.
  bool strictChangeDetection = false;
  // When on, every write of a table file is followed by a flush.
  bool forceBufferFlush = false;
  // Cache limits: records kept are min(dataCacheBytes / record length,
  // dataCacheRecords); index pages kept per index indexCacheBytes / 8192;
  // blocks kept min(blobCacheBytes / block size, blobCacheBlocks).
  std::uint32_t dataCacheBytes = 16384;
  std::uint32_t dataCacheRecords = 8192;
  std::uint32_t indexCacheBytes = 16384;
  std::uint32_t blobCacheBytes = 32768;
  std::uint32_t blobCacheBlocks = 8192;
  // Below which temporary tables, run files and temporary index files are
  // created, in a directory made for the session alone (see
  // TDataSession::WorkDirectory); empty means $TMPDIR, /tmp, or else the
  // current directory.
  std::string privateDirectory;
};

class TDataSession {
 public:
  // `files` must outlive the session.
  explicit TDataSession(TFileList& files = TFileList::Process())
      : files_(files) {}
  // Removes the work directory (when its files are gone).
  ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  StorageSettings settings;

  TFileList& Files() { return files_; }
  Env& GetEnv() { return files_.GetEnv(); }

  // The directory of this session's temporary files, ending in "/": made on
  // first use below the private directory (a new one when that setting
  // changes), with a name nobody can foresee and room for its owner only,
  // so that no other user can plant a file or link under the names of the
  // files made there. 11013 naming the directory when it cannot be made.
  std::string WorkDirectory();

 private:
  TFileList& files_;
  std::string workBase_;       // the private directory the work directory is in
  std::string workDirectory_;  // empty until made
};

}  // namespace kura
