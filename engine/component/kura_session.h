// Sessions and databases of the component layer.
//
// TKuraSessionList: the process-wide list of sessions; the first call of
// Sessions() creates it with the session "Default", which serves every
// dataset and database whose session name is empty. TKuraSession owns the
// storage session (TDataSession) once active, its database components and
// the directories they opened. TKuraDatabase names one directory of tables.
//
// Lock order: the list's own mutex guards the list of sessions only; the
// process-wide engine lock (taken re-entrantly per session through
// TKuraSession::Lock) guards the databases and directories of every session.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/table_catalog.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_session.h"

namespace kura {

class TKuraSession;
class TDataSet;

enum class TSessionType { stLocal, stRemote };

// True when a database name is a path: empty, or containing ":" or "\"
// (the second byte of a Shift-JIS double-byte character does not count).
bool IsDatabasePath(std::string_view name);
// `text` with every "/" replaced by "\" (second bytes of double-byte
// characters kept).
std::string BackslashPath(std::string_view text);

class TKuraDatabase {
 public:
  // A database component of `session` (which must outlive it).
  explicit TKuraDatabase(TKuraSession& session);
  ~TKuraDatabase();
  TKuraDatabase(const TKuraDatabase&) = delete;
  TKuraDatabase& operator=(const TKuraDatabase&) = delete;

  // Names and directory: "/" becomes "\" on assignment. Changing them on
  // a connected database raises "Cannot perform this operation on an open
  // database.".
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string_view name);
  const std::string& Directory() const { return directory_; }
  void SetDirectory(std::string_view dir);
  const std::string& RemoteDatabase() const { return remoteDatabase_; }
  void SetRemoteDatabase(std::string_view name);

  bool KeepConnection() const { return keepConnection_; }
  void SetKeepConnection(bool keep) { keepConnection_ = keep; }
  bool Temporary() const { return temporary_; }
  TKuraSession& Session() { return session_; }

  // Connects: the directory text, trimmed and ended with "\", selects the
  // session's directory object of that text (reused when open). "Memory"
  // with an empty directory selects the in-memory directory. Nothing when
  // connected.
  void Open();
  // Disconnects. Nothing when not connected.
  void Close();
  bool Connected() const { return dataDirectory_ != nullptr; }
  // The directory the database is connected to (Connected() must hold).
  TDataDirectory& DataDirectory() { return *dataDirectory_; }
  sql::TableCatalog& Catalog() { return *catalog_; }
  bool InMemory() const { return inMemory_; }

  // A transaction over every table of the database's directory (tables
  // opened later join it); connects first. Changes made through live
  // results are held in memory until Commit writes them and are dropped
  // by Rollback. StartTransaction raises "Transaction already in progress
  // for database '%s'" while one runs, and the engine's error (10249) when
  // another program holds a table: no transaction runs then. Commit and
  // Rollback raise "Transaction not in progress for database '%s'" when
  // none runs; a Commit whose write fails ends the transaction as a
  // rollback (what was written is put back) and raises the engine's error.
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return Connected() && dataDirectory_->InTransaction(); }

  // Reference counting by datasets.
  void AddDataSet(TDataSet* dataSet);
  // Drops a reference; at 0 a database without KeepConnection disconnects.
  // Returns true when the caller should free it (a temporary database that
  // disconnected).
  bool RemoveDataSet(TDataSet* dataSet);
  int RefCount() const { return static_cast<int>(dataSets_.size()); }

 private:
  friend class TKuraSession;
  TKuraSession& session_;
  std::string databaseName_;
  std::string directory_;
  std::string remoteDatabase_;
  bool keepConnection_ = true;
  bool temporary_ = false;
  bool inMemory_ = false;
  std::vector<TDataSet*> dataSets_;
  TDataDirectory* dataDirectory_ = nullptr;  // owned by the session
  std::unique_ptr<sql::TableCatalog> catalog_;
};

class TKuraSession {
 public:
  explicit TKuraSession(std::string name);
  ~TKuraSession();
  TKuraSession(const TKuraSession&) = delete;
  TKuraSession& operator=(const TKuraSession&) = delete;

  const std::string& SessionName() const { return sessionName_; }
  // Only while not active.
  void SetSessionName(std::string_view name);
  bool IsDefault() const { return default_; }

  // Becoming active creates the storage session with the settings below;
  // the private directory is the one set, else the current directory now.
  bool Active() const { return dataSession_ != nullptr; }
  void SetActive(bool active);
  // The storage session (activates the session first).
  TDataSession& DataSession();

  // Settings. Assigning them on an active session passes them on at once.
  bool keepConnections = true;
  int lockRetryCount = 15;
  int lockWaitTime = 100;
  TLockProtocol lockProtocol = TLockProtocol::lpPessimistic;
  std::string privateDir;
  int progressSteps = 20;
  bool strictChangeDetection = false;
  bool forceBufferFlush = false;
  TSessionType sessionType = TSessionType::stLocal;
  std::string remoteAddress = "127.0.0.1";
  int remotePort = 12005;
  std::string remoteHost, remoteService, remoteUser, remotePassword;
  bool remoteTrace = false;
  // The file list through which the session's tables reach their files;
  // null means the process's list. Only while not active: tests pass a list
  // over an Env that injects faults.
  TFileList* fileList = nullptr;
  // Constant; there is nothing to assign.
  static constexpr std::string_view EngineVersion() { return "3.30"; }
  // Copies the settings above into the active storage session.
  void ApplySettings();

  // ---- databases ----
  // The database component of that name (without regard to case), or
  // nullptr.
  TKuraDatabase* FindDatabase(std::string_view name);
  // A new database component of this session (owned by the session).
  // Raises "Database name %s already exists." when one of that name exists.
  TKuraDatabase& AddDatabase(std::string_view name);
  // Resolves a dataset's database name: the component of that name, or a
  // temporary one created for it; connects it and counts `dataSet` as a
  // user. Raises "Database name %s is not valid." for an empty name.
  TKuraDatabase& OpenDatabase(std::string_view name, TDataSet* dataSet);
  // Drops `dataSet`'s reference; a temporary database that disconnects is
  // freed.
  void CloseDatabase(TKuraDatabase& database, TDataSet* dataSet);
  int DatabaseCount() const { return static_cast<int>(databases_.size()); }

  // The directory object of a directory text (trimmed, compared without
  // regard to case), created on first use; the in-memory one for `memory`.
  TDataDirectory& DirectoryFor(const std::string& directory, bool memory);
  int DirectoryCount() const { return static_cast<int>(directories_.size()); }

  // The process-wide engine lock, taken re-entrantly by this session.
  void Lock();
  void Unlock();

 private:
  friend class TKuraSessionList;
  std::string sessionName_;
  bool default_ = false;
  std::unique_ptr<TDataSession> dataSession_;
  std::string privateDirectoryInUse_;
  std::vector<std::unique_ptr<TKuraDatabase>> databases_;
  std::vector<std::unique_ptr<TDataDirectory>> directories_;
  std::unique_ptr<TDataDirectory> memory_;
  int lockCount_ = 0;
};

// Holds a session's engine lock for a scope.
class TKuraSessionLock {
 public:
  explicit TKuraSessionLock(TKuraSession& s) : s_(s) { s_.Lock(); }
  ~TKuraSessionLock() { s_.Unlock(); }
  TKuraSessionLock(const TKuraSessionLock&) = delete;
  TKuraSessionLock& operator=(const TKuraSessionLock&) = delete;

 private:
  TKuraSession& s_;
};

class TKuraSessionList {
 public:
  TKuraSessionList();
  // The session of that name (without regard to case); the default
  // session for an empty name; nullptr when there is none.
  TKuraSession* FindSession(std::string_view name);
  // FindSession, raising "Session name %s is not valid." when none.
  TKuraSession& SessionByName(std::string_view name);
  // A new session (owned by the list); raises "Session name %s is not
  // valid." for an empty or existing name.
  TKuraSession& AddSession(std::string_view name);
  TKuraSession& DefaultSession();
  int Count();

 private:
  std::mutex mutex_;  // guards sessions_
  std::vector<std::unique_ptr<TKuraSession>> sessions_;
};

// The process's session list, created with the "Default" session on first
// use and kept to the end of the process.
TKuraSessionList& Sessions();

}  // namespace kura
