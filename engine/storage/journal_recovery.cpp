// Recovery from a commit journal left over by a writer that died; the
// protocol is described in commit_journal.h, the format in
// commit_journal.cpp.
#include <algorithm>
#include <cerrno>

#include "engine/errors/kura_error.h"
#include "engine/storage/change_counter.h"
#include "engine/storage/coding.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/file_format.h"
#include "engine/storage/file_handler.h"
#include "engine/storage/names.h"

namespace kura {

std::string JournalPath(Env& env, const std::string& directory) {
  const std::string trimmed = TrimBlanks(directory);
  std::string dir = trimmed.empty() ? std::string("./") : ResolvePath(env, trimmed);
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir + kJournalFileName;
}

bool JournalPending(Env& env, const std::string& journalPath) {
  FileAttributes attr;
  return env.Attributes(journalPath, &attr) == 0 && !attr.isDirectory && attr.size > 0;
}

namespace {

std::vector<std::uint8_t> ReadAll(EnvFile& file, const std::string& table) {
  std::uint64_t length = 0;
  if (file.Length(&length) != 0) Raise(KURA_READERR, {.table = table});
  std::vector<std::uint8_t> bytes(length);
  std::size_t done = 0;
  if (length > 0 && (file.Read(0, bytes.data(), bytes.size(), &done) != 0 || done != length)) {
    Raise(KURA_READERR, {.table = table});
  }
  return bytes;
}

// One file the journal names, opened shared and held under its write lock.
struct Target {
  std::unique_ptr<EnvFile> file;
  std::uint64_t lockOffset = 0;
  std::uint64_t lockLength = 0;  // 0: a file of no table kind, not locked
  bool counted = false;          // a table file whose header has a change counter
  std::int64_t counterBefore = 0;
};

Target OpenTarget(Env& env, const std::string& dir, const JournalFile& f, const std::string& table) {
  Target t;
  const std::string path = ResolvePath(env, dir + f.name);
  OpenOptions options;
  const int err = env.Open(path, options, &t.file);
  if (err == ENOENT) return t;  // nothing of it to put back
  if (err != 0) RaiseOsError(err, table);
  const std::string upper = UpperAscii(f.name);
  auto endsWith = [&](std::string_view ext) {
    return upper.size() > ext.size() && upper.compare(upper.size() - ext.size(), ext.size(), ext) == 0;
  };
  if (endsWith(kDataExtension)) {
    t.lockOffset = kTableWriteLockOffset;
    t.lockLength = 1;
  } else if (endsWith(kIndexExtension) || endsWith(kBlobExtension)) {
    t.lockOffset = kWriteRangeOffset;
    t.lockLength = kWriteRangeLength;
  }
  t.counted = t.lockLength > 0 && f.oldLength >= kChangeCounterOffset + 4;
  return t;
}

void LockTarget(Env& env, Target& t, const StorageSettings& settings, const std::string& table) {
  if (!t.file || t.lockLength == 0) return;
  const int attempts = std::max(1, settings.tableLockAttempts);
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) env.SleepMillis(settings.tableLockPauseMs);
    const int err = t.file->Lock(t.lockOffset, t.lockLength, true);
    if (err == 0) return;
    if (err != EAGAIN && err != EACCES) RaiseOsError(err, table);
  }
  Raise(KURA_LOCKTIMEOUT, {.table = table});
}

std::int64_t ReadCounter(EnvFile& file, const std::string& table) {
  std::uint8_t buf[4] = {};
  std::size_t done = 0;
  if (file.Read(kChangeCounterOffset, buf, sizeof buf, &done) != 0) Raise(KURA_READERR, {.table = table});
  return done == sizeof buf ? GetInt32LE(buf) : 0;
}

void WriteExact(EnvFile& file, std::uint64_t pos, const void* buf, std::size_t n, const std::string& table) {
  std::size_t done = 0;
  if (file.Write(pos, buf, n, &done) != 0 || done != n) Raise(KURA_WRITEERR, {.table = table});
}

// Puts back what `journal` names; the files are closed (and their locks
// given back) when `targets` goes.
void RollBack(Env& env, const std::string& dir, const Journal& journal, const StorageSettings& settings,
              const std::string& table) {
  std::vector<Target> targets;
  for (const JournalFile& f : journal.files) targets.push_back(OpenTarget(env, dir, f, table));
  for (Target& t : targets) LockTarget(env, t, settings, table);
  for (Target& t : targets) {
    if (t.file && t.counted) t.counterBefore = ReadCounter(*t.file, table);
  }
  for (auto r = journal.records.rbegin(); r != journal.records.rend(); ++r) {
    Target& t = targets[r->file];
    if (t.file) WriteExact(*t.file, r->offset, r->bytes.data(), r->bytes.size(), table);
  }
  for (std::size_t i = 0; i < targets.size(); ++i) {
    Target& t = targets[i];
    if (!t.file) continue;
    std::uint64_t length = 0;
    if (t.file->Length(&length) != 0) Raise(KURA_READERR, {.table = table});
    if (length != journal.files[i].oldLength && t.file->Truncate(journal.files[i].oldLength) != 0) {
      Raise(KURA_WRITEERR, {.table = table});
    }
    if (t.counted) {
      // One beyond both values, so that no user takes the file as unchanged.
      const std::int64_t next = std::max(t.counterBefore, ReadCounter(*t.file, table)) + 1;
      std::uint8_t buf[4];
      PutInt32LE(buf, static_cast<std::int32_t>(static_cast<std::uint32_t>(next)));
      WriteExact(*t.file, kChangeCounterOffset, buf, sizeof buf, table);
    }
    if (t.file->Sync() != 0) Raise(KURA_WRITEERR, {.table = table});
  }
  for (Target& t : targets) {
    if (t.file && t.lockLength > 0) t.file->Unlock(t.lockOffset, t.lockLength);
  }
}

}  // namespace

bool RecoverJournal(Env& env, const std::string& journalPath, const StorageSettings& settings,
                    const std::string& table) {
  const std::string dir = journalPath.substr(0, journalPath.find_last_of('/') + 1);
  const int attempts = std::max(1, settings.tableLockAttempts);
  for (int i = 0;; ++i) {
    if (!JournalPending(env, journalPath)) return false;
    if (i == attempts) Raise(KURA_LOCKTIMEOUT, {.table = table});
    if (i > 0) env.SleepMillis(settings.tableLockPauseMs);
    std::unique_ptr<EnvFile> file;
    const int err = env.Open(journalPath, OpenOptions{}, &file);
    if (err == ENOENT) return false;
    if (err != 0) RaiseOsError(err, table);
    const int lockErr = file->Lock(kJournalLockOffset, 1, true);
    if (lockErr == EAGAIN || lockErr == EACCES) continue;  // a writer is committing
    if (lockErr != 0) RaiseOsError(lockErr, table);
    const std::vector<std::uint8_t> bytes = ReadAll(*file, table);
    if (bytes.empty()) return false;  // finished while we waited
    // A damaged or partial journal was being written when its writer died,
    // before any table was touched: it is only emptied.
    if (const std::optional<Journal> journal = DecodeJournal(bytes)) {
      RollBack(env, dir, *journal, settings, table);
    }
    if (file->Truncate(0) != 0 || file->Sync() != 0) Raise(KURA_WRITEERR, {.table = table});
    file->Unlock(kJournalLockOffset, 1);
    return true;
  }
}

}  // namespace kura
