// TDataDirectory: one open database of a session, a directory holding the
// files of its tables. It keeps the session's table objects of that
// directory (one per table name and kind, shared by the session's cursors),
// and runs transactions over them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/first_error.h"
#include "engine/storage/storage_table.h"

namespace kura {

class TDataDirectory {
 public:
  // `path` is the directory ("\" or "/" separated); a separator is added
  // when it does not end in one.
  TDataDirectory(TDataSession& session, std::string path);
  ~TDataDirectory();

  const std::string& Path() const { return path_; }
  TDataSession& Session() { return session_; }

  // The open table of that name (trimmed, without regard to case) and
  // kind gets a new user; 11013 when it or the request is exclusive.
  // Otherwise a new table object is opened (its files' errors keep their
  // codes, 11010 for a missing table), verified on its first open in the
  // process, and joins a running transaction.
  TDataTable* OpenTable(const std::string& name, const TableOpenOptions& options);
  // Creates the table's files and opens it for the caller; 11013 when a
  // table of that name is open in the session.
  TDataTable* CreateTable(const std::string& name, const TableOpenOptions& options,
                          const DataFileDefinition& def, const TIndexFileHeader& index);
  // Removes a user; the last one closes the files and releases the object
  // (kept while a transaction holds it).
  void CloseTable(TDataTable* table);

  // 11013 while the table is open in the session; deletes the data file,
  // the index file and the BLOB file when it exists.
  void DeleteTable(const std::string& name, bool inMemory);
  // 11013 while open; renames each of the three files that exists.
  void RenameTable(const std::string& from, const std::string& to, bool inMemory);
  // True when the table is open in the session or its data file exists.
  bool TableExists(const std::string& name, bool inMemory);
  // The first free name of the form <first five digits of the thread id>
  // <number from 0><ext> in this directory (".DAT": no table of that name
  // exists; other extensions: no file of that name exists).
  std::string UniqueTemporaryName(std::string_view ext = ".DAT");

  // Locks every open table for a transaction (tables opened later join);
  // nothing when one runs. When a table's lock cannot be had (10249), the
  // tables already locked are let go and the error is raised: no
  // transaction runs then.
  void StartTransaction();
  // Writes back the changes of every table and ends the transaction. When a
  // write fails the transaction still ends, as a rollback: the bytes already
  // written are put back, the changes dropped, every lock given back, and
  // the error is raised. Nothing when none runs.
  void Commit();
  // Drops the changes of every table since the start and ends the
  // transaction. Nothing when none runs.
  void Rollback();
  bool InTransaction() const { return inTransaction_; }

  // The open table object of that name and kind, or nullptr.
  TDataTable* FindTable(const std::string& name, bool inMemory);

 private:
  void Release(TDataTable* table);
  void CloseUnused(FirstError& errors);

  TDataSession& session_;
  std::string path_;
  std::vector<std::unique_ptr<TDataTable>> tables_;
  bool inTransaction_ = false;
};

}  // namespace kura
