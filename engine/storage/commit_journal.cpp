#include "engine/storage/commit_journal.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"
#include "engine/storage/file_handler.h"

namespace kura {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// Journal file, little-endian (an empty file is no journal).
//   offset size  meaning
//        0    8  magic "KURAJNL" and 0x01 (kJournalMagic)
//        8    4  file count F (1 ... 65 535)
//       12    4  record count R
//       16    8  the journal's length in bytes, header to last record
//       24    4  CRC-32 of bytes 0-23 and of the file list
//       28       the file list, F entries:
//                  +0        2  name length n (1 ... 255)
//                  +2        n  the file's name in the journal's directory
//                  +2+n      8  the file's length before the commit
//                then R records, in the order the commit writes them:
//                  +0        2  file, an index into the list
//                  +2        8  offset in that file
//                  +10       4  byte count c
//                  +14       c  the bytes there before the commit
//                  +14+c     4  CRC-32 of the record's bytes +0 ... +13+c
// The file's length must equal the length at offset 16.
std::vector<std::uint8_t> EncodeJournal(const Journal& journal) {
  std::vector<std::uint8_t> out(kJournalHeaderSize);
  std::copy(std::begin(kJournalMagic), std::end(kJournalMagic), out.begin());
  PutFixed32LE(out.data() + 8, static_cast<std::uint32_t>(journal.files.size()));
  PutFixed32LE(out.data() + 12, static_cast<std::uint32_t>(journal.records.size()));
  for (const JournalFile& f : journal.files) {
    const std::size_t at = out.size();
    out.resize(at + 2 + f.name.size() + 8);
    PutFixed16LE(out.data() + at, static_cast<std::uint16_t>(f.name.size()));
    std::copy(f.name.begin(), f.name.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 2));
    PutFixed64LE(out.data() + at + 2 + f.name.size(), f.oldLength);
  }
  const std::size_t listEnd = out.size();
  for (const JournalRecord& r : journal.records) {
    const std::size_t at = out.size();
    out.resize(at + 14 + r.bytes.size() + 4);
    PutFixed16LE(out.data() + at, r.file);
    PutFixed64LE(out.data() + at + 2, r.offset);
    PutFixed32LE(out.data() + at + 10, static_cast<std::uint32_t>(r.bytes.size()));
    std::copy(r.bytes.begin(), r.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 14));
    const std::size_t end = at + 14 + r.bytes.size();
    PutFixed32LE(out.data() + end, Crc32({out.data() + at, end - at}));
  }
  PutFixed64LE(out.data() + 16, out.size());
  std::vector<std::uint8_t> covered(out.begin(), out.begin() + 24);
  covered.insert(covered.end(), out.begin() + kJournalHeaderSize,
                 out.begin() + static_cast<std::ptrdiff_t>(listEnd));
  PutFixed32LE(out.data() + 24, Crc32(covered));
  return out;
}

std::optional<Journal> DecodeJournal(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  if (bytes.size() < kJournalHeaderSize || !std::equal(std::begin(kJournalMagic), std::end(kJournalMagic), p) ||
      GetFixed64LE(p + 16) != bytes.size()) {
    return std::nullopt;
  }
  const std::uint32_t fileCount = GetFixed32LE(p + 8);
  const std::uint32_t recordCount = GetFixed32LE(p + 12);
  if (fileCount == 0 || fileCount > 65535) return std::nullopt;
  Journal journal;
  std::size_t at = kJournalHeaderSize;
  for (std::uint32_t i = 0; i < fileCount; ++i) {
    if (bytes.size() - at < 2) return std::nullopt;
    const std::size_t n = GetFixed16LE(p + at);
    if (n == 0 || n > 255 || bytes.size() - at < 2 + n + 8) return std::nullopt;
    journal.files.push_back({std::string(p + at + 2, p + at + 2 + n), GetFixed64LE(p + at + 2 + n)});
    at += 2 + n + 8;
  }
  std::vector<std::uint8_t> covered(p, p + 24);
  covered.insert(covered.end(), p + kJournalHeaderSize, p + at);
  if (Crc32(covered) != GetFixed32LE(p + 24)) return std::nullopt;
  for (std::uint32_t i = 0; i < recordCount; ++i) {
    if (bytes.size() - at < 14) return std::nullopt;
    JournalRecord r{GetFixed16LE(p + at), GetFixed64LE(p + at + 2), {}};
    const std::size_t c = GetFixed32LE(p + at + 10);
    if (r.file >= fileCount || bytes.size() - at - 14 < c || bytes.size() - at - 14 - c < 4) {
      return std::nullopt;
    }
    if (Crc32({p + at, 14 + c}) != GetFixed32LE(p + at + 14 + c)) return std::nullopt;
    r.bytes.assign(p + at + 14, p + at + 14 + c);
    journal.records.push_back(std::move(r));
    at += 14 + c + 4;
  }
  if (at != bytes.size()) return std::nullopt;
  return journal;
}

namespace {

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TCommitJournal::TCommitJournal(Env& env, std::string journalPath, const StorageSettings& settings,
                               std::string table)
    : env_(env), path_(std::move(journalPath)), settings_(settings), table_(std::move(table)) {}

TCommitJournal::~TCommitJournal() {
  if (locked_) file_->Unlock(kJournalLockOffset, 1);
}

void TCommitJournal::Write(const std::vector<TFileHandler*>& files, bool durable) {
  Journal journal;
  for (TFileHandler* h : files) {
    const auto* records = h->UndoRecords();
    if (records == nullptr || records->empty()) continue;
    const auto index = static_cast<std::uint16_t>(journal.files.size());
    journal.files.push_back({BaseName(h->Path()), h->UndoLength()});
    for (const auto& r : *records) {
      if (!r.before.empty()) journal.records.push_back({index, r.pos, r.before});
    }
  }
  if (journal.files.empty()) return;
  const std::vector<std::uint8_t> bytes = EncodeJournal(journal);
  FileAttributes attr;
  const bool existed = env_.Attributes(path_, &attr) == 0;
  OpenOptions options;
  options.create = true;
  options.truncate = false;
  if (const int err = env_.Open(path_, options, &file_); err != 0) RaiseOsError(err, table_);
  const int attempts = std::max(1, settings_.tableLockAttempts);
  for (int i = 0; !locked_; ++i) {
    if (i == attempts) Raise(KURA_LOCKTIMEOUT, {.table = table_});
    if (i > 0) env_.SleepMillis(settings_.tableLockPauseMs);
    const int err = file_->Lock(kJournalLockOffset, 1, true);
    if (err != 0 && err != EAGAIN && err != EACCES) RaiseOsError(err, table_);
    locked_ = err == 0;
  }
  std::uint64_t length = 0;
  if (file_->Length(&length) != 0) Raise(KURA_READERR, {.table = table_});
  if (length > 0) {
    // A writer that died left it; none of our tables is among its files.
    file_->Unlock(kJournalLockOffset, 1);
    locked_ = false;
    file_.reset();
    RecoverJournal(env_, path_, settings_, table_);
    return Write(files, durable);
  }
  std::size_t done = 0;
  written_ = true;  // from here on, a failure may have left part of it
  if (file_->Write(0, bytes.data(), bytes.size(), &done) != 0 || done != bytes.size()) {
    Raise(KURA_WRITEERR, {.table = table_});
  }
  if (durable) {
    if (file_->Sync() != 0) Raise(KURA_WRITEERR, {.table = table_});
    const std::string dir = path_.substr(0, path_.find_last_of('/') + 1);
    if (!existed && env_.SyncDirectory(dir.empty() ? "." : dir) != 0) {
      Raise(KURA_WRITEERR, {.table = table_});
    }
  }
}

void TCommitJournal::Empty(bool durable) {
  if (file_->Truncate(0) != 0 || (durable && file_->Sync() != 0)) {
    Raise(KURA_WRITEERR, {.table = table_});
  }
  written_ = false;
}

void TCommitJournal::Finish(bool durable) {
  if (written_) Empty(durable);
}

void TCommitJournal::Abandon(bool tablesRestored) {
  if (!written_ || !tablesRestored) return;
  try {
    Empty(true);
  } catch (...) {
    // Left for recovery, which puts back the bytes the tables hold already.
  }
}

}  // namespace kura
