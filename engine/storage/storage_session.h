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
  // Where temporary tables and temporary index files are created; empty
  // means the current directory.
  std::string privateDirectory;
};

class TDataSession {
 public:
  // `files` must outlive the session.
  explicit TDataSession(TFileList& files = TFileList::Process())
      : files_(files) {}

  StorageSettings settings;

  TFileList& Files() { return files_; }
  Env& GetEnv() { return files_.GetEnv(); }

 private:
  TFileList& files_;
};

}  // namespace kura
