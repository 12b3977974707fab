// The commit journal: what makes a transaction's commit all or nothing
// when the process is killed or the machine loses power in the middle of
// it. One journal per database directory, the file kJournalFileName.
//
// Writing a commit (TDataDirectory::Commit):
//  1. Every table of the transaction takes its write lock, and its changes
//     are staged in memory (TFileHandler::BeginUndo): nothing reaches a
//     table file yet, and the bytes each write will overwrite are read.
//  2. The journal is opened (created when missing, never emptied by the
//     open) and its lock taken (kJournalLockOffset, exclusive, waiting as
//     for a table lock). A journal with contents under that lock was left
//     by a writer that is gone: it is rolled back first.
//  3. The journal is written in one write: every file's old length and the
//     old bytes of every write (format below). With durability on it is
//     flushed (fdatasync), and the directory too when the file is new.
//  4. The tables are written; with durability on each file written is
//     flushed.
//  5. The journal is emptied (cut to length 0: the commit is done) and,
//     with durability on, flushed; its lock is given back, then the tables'
//     write locks.
// The journal file is never removed: a process waiting for the lock of a
// removed file would hold the lock of a file no longer in the directory
// while the next writer made a new one. An empty journal is no journal.
//
// Recovery (RecoverJournal): every lock taken on a table (read slot, write
// lock, table lock) and every open of a table is followed by a look at the
// journal's size (one stat). A writer holds the write lock of each table
// its journal names for as long as the journal has contents, so a journal
// with contents seen under a lock of one of them was left by a writer that
// died. The lock just taken is given back, the journal lock is taken
// (waiting while a writer commits) and under it:
//  - an empty journal: nothing to do;
//  - a damaged or partial journal (its length, a count or a checksum
//    wrong): the writer died while writing it, before touching any table;
//    it is emptied;
//  - a sound journal: under the write lock of every file it names, the old
//    bytes are written back newest first and each file is cut to its old
//    length; each header's change counter is then set one beyond both the
//    value the crash left and the one put back, so every other user drops
//    its caches; the files are flushed, and the journal emptied and
//    flushed.
// Then the caller takes its lock again. So no user reads or changes a
// table that a dead writer's commit left half written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/storage/storage_session.h"
#include "engine/storage/env.h"

namespace kura {

class TFileHandler;

// The journal's file name in the database directory, its lock byte, and
// its magic; part of the on-disk format.
inline constexpr char kJournalFileName[] = "KURA.JNL";
inline constexpr std::uint64_t kJournalLockOffset = 0xFFFFFFFFULL;
inline constexpr std::uint8_t kJournalMagic[8] = {'K', 'U', 'R', 'A', 'J', 'N', 'L', 1};
inline constexpr std::size_t kJournalHeaderSize = 28;

struct JournalFile {
  std::string name;  // the file's name in the journal's directory
  std::uint64_t oldLength = 0;
};
struct JournalRecord {
  std::uint16_t file = 0;  // index into Journal::files
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> bytes;  // as they were before the commit
};
struct Journal {
  std::vector<JournalFile> files;
  std::vector<JournalRecord> records;
};

std::vector<std::uint8_t> EncodeJournal(const Journal& journal);
// The journal in `bytes`, or nullopt when it is damaged or partial.
std::optional<Journal> DecodeJournal(std::span<const std::uint8_t> bytes);
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The operating-system path of the journal of `directory` (a database
// directory as TDataDirectory keeps it, "\" allowed).
std::string JournalPath(Env& env, const std::string& directory);
// True when the journal at `journalPath` has contents (one stat).
bool JournalPending(Env& env, const std::string& journalPath);

// Rolls back or empties the journal at `journalPath` as described above,
// waiting the session's lock attempts for the journal lock and each file's
// write lock (10249 after that; `table` names the table in errors).
// Returns true when there was a journal with contents.
bool RecoverJournal(Env& env, const std::string& journalPath, const StorageSettings& settings,
                    const std::string& table);

// The journal side of one commit (steps 2, 3 and 5 above).
class TCommitJournal {
 public:
  TCommitJournal(Env& env, std::string journalPath, const StorageSettings& settings,
                 std::string table);
  ~TCommitJournal();  // gives back the journal lock
  TCommitJournal(const TCommitJournal&) = delete;
  TCommitJournal& operator=(const TCommitJournal&) = delete;

  // Takes the journal lock and writes the old bytes of the writes staged in
  // `files` (whose paths lie in the journal's directory); flushed when
  // `durable`. Nothing when no file has a staged write. 9218 when it cannot
  // be written (the tables are not touched then), 10249 when the lock
  // cannot be had.
  void Write(const std::vector<TFileHandler*>& files, bool durable);
  // The tables are written: the journal is emptied (flushed when durable).
  void Finish(bool durable);
  // The commit failed. When `tablesRestored` the journal is emptied;
  // otherwise it stays for recovery to roll the tables back. Raises nothing.
  void Abandon(bool tablesRestored);
  bool Written() const { return written_; }

 private:
  void Empty(bool durable);

  Env& env_;
  std::string path_;
  const StorageSettings& settings_;
  std::string table_;
  std::unique_ptr<EnvFile> file_;
  bool locked_ = false;
  bool written_ = false;
};

}  // namespace kura
