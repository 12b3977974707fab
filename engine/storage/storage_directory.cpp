#include "engine/storage/storage_directory.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "engine/errors/kura_error.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/first_error.h"
#include "engine/storage/names.h"

namespace kura {

TDataDirectory::TDataDirectory(TDataSession& session, std::string path)
    : session_(session), path_(std::move(path)) {
  if (path_.empty()) path_ = session_.GetEnv().CurrentDirectory();
  if (path_.back() != '/' && path_.back() != '\\') path_ += '/';
}

TDataDirectory::~TDataDirectory() = default;

TDataTable* TDataDirectory::FindTable(const std::string& name, bool inMemory) {
  const std::string wanted = TrimBlanks(name);
  for (const auto& t : tables_) {
    if (t->Options().inMemory == inMemory && EqualNoCase(t->Name(), wanted)) return t.get();
  }
  return nullptr;
}

TDataTable* TDataDirectory::OpenTable(const std::string& name,
                                      const TableOpenOptions& options) {
  if (TDataTable* t = FindTable(name, options.inMemory)) {
    if (t->UserCount() > 0 && (t->Exclusive() || options.exclusive)) {
      Raise(KURA_OSEACCES, {.table = TrimBlanks(name)});
    }
    t->AddUser();
    return t;
  }
  auto table = std::make_unique<TDataTable>(session_, path_, name, options);
  table->Open();
  table->Verify();
  if (inTransaction_) table->StartTransaction();
  table->AddUser();
  tables_.push_back(std::move(table));
  return tables_.back().get();
}

TDataTable* TDataDirectory::CreateTable(const std::string& name,
                                        const TableOpenOptions& options,
                                        const DataFileDefinition& def,
                                        const TIndexFileHeader& index) {
  if (FindTable(name, options.inMemory) != nullptr) {
    Raise(KURA_OSEACCES, {.table = TrimBlanks(name)});
  }
  auto table = std::make_unique<TDataTable>(session_, path_, name, options);
  table->Create(def, index);
  if (inTransaction_) table->StartTransaction();
  table->AddUser();
  tables_.push_back(std::move(table));
  return tables_.back().get();
}

void TDataDirectory::Release(TDataTable* table) {
  tables_.erase(std::find_if(tables_.begin(), tables_.end(),
                             [table](const auto& p) { return p.get() == table; }));
}

void TDataDirectory::CloseTable(TDataTable* table) {
  if (table == nullptr || table->RemoveUser() > 0) return;
  if (table->InTransaction()) return;  // kept until the transaction ends
  const bool temporary = table->Options().temporary;
  const bool inMemory = table->Options().inMemory;
  const std::string name = table->Name();
  // The table object goes even when writing back at close fails.
  FirstError errors;
  errors.Run([&] { table->Close(); });
  Release(table);
  if (temporary && inMemory) {
    // A temporary in-memory table's contents go with its last user.
    TFileList& files = session_.Files();
    for (std::string_view ext : {kDataExtension, kIndexExtension, kBlobExtension}) {
      files.DeleteMemoryFile(UpperAscii(TrimBlanks(path_ + TableFileName(name, ext))));
    }
  }
  errors.Rethrow();
}

void TDataDirectory::DeleteTable(const std::string& name, bool inMemory) {
  if (FindTable(name, inMemory) != nullptr) Raise(KURA_OSEACCES, {.table = TrimBlanks(name)});
  TFileList& files = session_.Files();
  TFileHandler::Delete(files, path_ + TableFileName(name, kDataExtension), inMemory, name);
  for (std::string_view ext : {kIndexExtension, kBlobExtension}) {
    const std::string path = path_ + TableFileName(name, ext);
    if (TFileHandler::Exists(files, path, inMemory)) {
      TFileHandler::Delete(files, path, inMemory, name);
    }
  }
}

void TDataDirectory::RenameTable(const std::string& from, const std::string& to,
                                 bool inMemory) {
  if (FindTable(from, inMemory) != nullptr) Raise(KURA_OSEACCES, {.table = TrimBlanks(from)});
  TFileList& files = session_.Files();
  for (std::string_view ext : {kDataExtension, kIndexExtension, kBlobExtension}) {
    const std::string path = path_ + TableFileName(from, ext);
    if (!TFileHandler::Exists(files, path, inMemory)) continue;
    TFileHandler::Rename(files, path, path_ + TableFileName(to, ext), inMemory, from);
  }
}

bool TDataDirectory::TableExists(const std::string& name, bool inMemory) {
  return FindTable(name, inMemory) != nullptr ||
         TFileHandler::Exists(session_.Files(), path_ + TableFileName(name, kDataExtension),
                              inMemory);
}

std::string TDataDirectory::UniqueTemporaryName(std::string_view ext) {
  std::string prefix = std::to_string(std::llabs(session_.GetEnv().ThreadId()));
  if (prefix.size() > 5) prefix.resize(5);
  for (long n = 0;; ++n) {
    const std::string name = prefix + std::to_string(n) + std::string(ext);
    const bool taken =
        EqualNoCase(ext, kDataExtension)
            ? TableExists(name, false)
            : TFileHandler::Exists(session_.Files(), path_ + name, false);
    if (!taken) return name;
  }
}

void TDataDirectory::StartTransaction() {
  if (inTransaction_) return;
  // All tables or none: when one table's lock cannot be had (another
  // program is writing), the tables locked so far are let go again.
  std::size_t started = 0;
  try {
    for (; started < tables_.size(); ++started) tables_[started]->StartTransaction();
  } catch (...) {
    for (std::size_t i = 0; i < started; ++i) {
      try {
        tables_[i]->RollbackTransaction();
      } catch (...) {
        // The error that stopped the start is the one to report.
      }
    }
    throw;
  }
  inTransaction_ = true;
}

// The commit protocol is described in commit_journal.h: every table stages
// its writes under its write lock, the journal keeps what they overwrite,
// then the tables are written and the journal emptied. When a step fails,
// every table that staged puts its files back, the others roll back, and
// no table is left locked; a journal whose tables could not all be put
// back stays for recovery.
void TDataDirectory::Commit() {
  if (!inTransaction_) return;
  inTransaction_ = false;
  std::size_t i = 0;
  const bool durable = session_.settings.forceBufferFlush;
  std::unique_ptr<TCommitJournal> journal;
  try {
    for (; i < tables_.size(); ++i) tables_[i]->WriteTransaction();
    std::vector<TFileHandler*> files;
    for (const auto& t : tables_) {
      for (TFileHandler* h : t->JournaledFiles()) files.push_back(h);
    }
    if (!files.empty()) {
      TDataTable& first = *tables_.front();
      journal = std::make_unique<TCommitJournal>(session_.GetEnv(), first.JournalFilePath(),
                                                 session_.settings, first.Name());
      journal->Write(files, durable);
    }
    for (const auto& t : tables_) t->ApplyCommit(durable);
    if (journal) journal->Finish(durable);
  } catch (...) {
    bool restored = true;
    for (std::size_t j = 0; j < tables_.size(); ++j) {
      if (j <= i) {
        restored = tables_[j]->UndoCommit() && restored;
        continue;
      }
      try {
        tables_[j]->RollbackTransaction();
      } catch (...) {
        // The commit's error is the one to report.
      }
    }
    if (journal) journal->Abandon(restored);
    journal.reset();
    FirstError ignored;  // the commit's error is the one to report
    CloseUnused(ignored);
    throw;
  }
  journal.reset();  // its lock goes before the tables' write locks
  FirstError errors;
  for (const auto& t : tables_) errors.Run([&] { t->EndCommit(); });
  CloseUnused(errors);
  errors.Rethrow();
}

void TDataDirectory::Rollback() {
  if (!inTransaction_) return;
  inTransaction_ = false;
  FirstError errors;
  for (const auto& t : tables_) errors.Run([&] { t->RollbackTransaction(); });
  CloseUnused(errors);
  errors.Rethrow();
}

// Tables that no cursor uses any more were kept only for the transaction;
// each goes even when writing it back fails (the failure joins `errors`).
void TDataDirectory::CloseUnused(FirstError& errors) {
  std::vector<TDataTable*> unused;
  for (const auto& t : tables_) {
    if (t->UserCount() == 0) unused.push_back(t.get());
  }
  for (TDataTable* t : unused) {
    errors.Run([&] { t->Close(); });
    Release(t);
  }
}

}  // namespace kura
