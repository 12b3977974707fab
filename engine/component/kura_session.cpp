#include "engine/component/kura_session.h"

#include <algorithm>

#include "engine/errors/database_error.h"
#include "engine/storage/names.h"

namespace kura {

namespace {

std::mutex& EngineMutex() {
  static std::mutex m;
  return m;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

bool IsDatabasePath(std::string_view name) {
  if (name.empty()) return true;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c)) {
      ++i;  // the trail byte may be any value
      continue;
    }
    if (c == ':' || c == '\\') return true;
  }
  return false;
}

std::string BackslashPath(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(out[i]))) {
      ++i;
    } else if (out[i] == '/') {
      out[i] = '\\';
    }
  }
  return out;
}

// ---- TKuraDatabase -----------------------------------------------------------

TKuraDatabase::TKuraDatabase(TKuraSession& session) : session_(session) {
  keepConnection_ = session.keepConnections;
}

TKuraDatabase::~TKuraDatabase() { Close(); }

void TKuraDatabase::SetDatabaseName(std::string_view name) {
  if (Connected()) DatabaseError(kDatabaseOpen);
  databaseName_ = BackslashPath(name);
}

void TKuraDatabase::SetDirectory(std::string_view dir) {
  if (Connected()) DatabaseError(kDatabaseOpen);
  directory_ = BackslashPath(dir);
}

void TKuraDatabase::SetRemoteDatabase(std::string_view name) {
  if (Connected()) DatabaseError(kDatabaseOpen);
  remoteDatabase_ = BackslashPath(name);
}

void TKuraDatabase::Open() {
  if (Connected()) return;
  TKuraSessionLock lock(session_);
  std::string dir = TrimBlanks(directory_);
  inMemory_ = dir.empty() && EqualNoCase(TrimBlanks(databaseName_), "Memory");
  if (!inMemory_ && (dir.empty() || dir.back() != '\\')) dir += '\\';
  TDataDirectory& d = session_.DirectoryFor(dir, inMemory_);
  TKuraSession* s = &session_;
  auto resolver = [s](std::string_view name) -> TDataDirectory* {
    if (TKuraDatabase* db = s->FindDatabase(name)) {
      db->Open();
      return &db->DataDirectory();
    }
    if (!IsDatabasePath(name)) return nullptr;
    std::string path = BackslashPath(TrimBlanks(std::string(name)));
    if (path.back() != '\\') path += '\\';
    return &s->DirectoryFor(path, false);
  };
  catalog_ = std::make_unique<sql::TableCatalog>(d, &session_.DirectoryFor("", true), resolver);
  dataDirectory_ = &d;
}

void TKuraDatabase::Close() {
  catalog_.reset();
  dataDirectory_ = nullptr;
}

void TKuraDatabase::StartTransaction() {
  Open();
  TKuraSessionLock lock(session_);
  if (dataDirectory_->InTransaction()) DatabaseError(kTransactionActive, databaseName_);
  dataDirectory_->StartTransaction();
}

void TKuraDatabase::Commit() {
  TKuraSessionLock lock(session_);
  if (!InTransaction()) DatabaseError(kNoTransaction, databaseName_);
  dataDirectory_->Commit();
}

void TKuraDatabase::Rollback() {
  TKuraSessionLock lock(session_);
  if (!InTransaction()) DatabaseError(kNoTransaction, databaseName_);
  dataDirectory_->Rollback();
}

void TKuraDatabase::AddDataSet(TDataSet* dataSet) { dataSets_.push_back(dataSet); }

bool TKuraDatabase::RemoveDataSet(TDataSet* dataSet) {
  const auto it = std::find(dataSets_.begin(), dataSets_.end(), dataSet);
  if (it != dataSets_.end()) dataSets_.erase(it);
  if (!dataSets_.empty() || keepConnection_) return false;
  Close();
  return temporary_;
}

// ---- TKuraSession --------------------------------------------------------------

TKuraSession::TKuraSession(std::string name) : sessionName_(std::move(name)) {}

TKuraSession::~TKuraSession() {
  databases_.clear();
  directories_.clear();
  memory_.reset();
}

void TKuraSession::SetSessionName(std::string_view name) {
  if (Active()) DatabaseError(kDatabaseOpen);
  sessionName_ = std::string(name);
}

void TKuraSession::SetActive(bool active) {
  if (active == Active()) return;
  if (!active) {
    databases_.clear();
    directories_.clear();
    memory_.reset();
    dataSession_.reset();
    return;
  }
  dataSession_ = std::make_unique<TDataSession>(fileList ? *fileList : TFileList::Process());
  privateDirectoryInUse_ =
      privateDir.empty() ? dataSession_->GetEnv().CurrentDirectory() : privateDir;
  ApplySettings();
}

TDataSession& TKuraSession::DataSession() {
  SetActive(true);
  return *dataSession_;
}

void TKuraSession::ApplySettings() {
  if (!Active()) return;
  StorageSettings& s = dataSession_->settings;
  s.lockRetryCount = static_cast<std::uint8_t>(std::clamp(lockRetryCount, 0, 255));
  s.lockWaitMs = static_cast<std::uint16_t>(std::clamp(lockWaitTime, 0, 65535));
  s.strictChangeDetection = strictChangeDetection;
  s.forceBufferFlush = forceBufferFlush;
  if (!privateDir.empty()) privateDirectoryInUse_ = privateDir;
  s.privateDirectory = privateDirectoryInUse_;
}

TKuraDatabase* TKuraSession::FindDatabase(std::string_view name) {
  const std::string wanted = TrimBlanks(BackslashPath(name));
  for (auto& d : databases_) {
    if (EqualNoCase(TrimBlanks(d->DatabaseName()), wanted)) return d.get();
  }
  return nullptr;
}

TKuraDatabase& TKuraSession::AddDatabase(std::string_view name) {
  TKuraSessionLock lock(*this);
  if (FindDatabase(name) != nullptr) DatabaseError(kDuplicateDatabaseName, name);
  databases_.push_back(std::make_unique<TKuraDatabase>(*this));
  databases_.back()->SetDatabaseName(name);
  return *databases_.back();
}

TKuraDatabase& TKuraSession::OpenDatabase(std::string_view name, TDataSet* dataSet) {
  SetActive(true);
  TKuraSessionLock lock(*this);
  TKuraDatabase* db = FindDatabase(name);
  if (db == nullptr) {
    if (TrimBlanks(name).empty()) DatabaseError(kInvalidDatabaseName, name);
    databases_.push_back(std::make_unique<TKuraDatabase>(*this));
    db = databases_.back().get();
    db->temporary_ = true;
    db->SetDatabaseName(name);
    const bool memory = EqualNoCase(TrimBlanks(db->DatabaseName()), "Memory");
    if (sessionType == TSessionType::stRemote) {
      db->SetRemoteDatabase(name);
    } else if (!memory) {
      db->SetDirectory(name);
    }
    db->SetKeepConnection(keepConnections);
  }
  db->Open();
  db->AddDataSet(dataSet);
  return *db;
}

void TKuraSession::CloseDatabase(TKuraDatabase& database, TDataSet* dataSet) {
  TKuraSessionLock lock(*this);
  if (!database.RemoveDataSet(dataSet)) return;
  databases_.erase(std::find_if(databases_.begin(), databases_.end(),
                                [&](const auto& p) { return p.get() == &database; }));
}

TDataDirectory& TKuraSession::DirectoryFor(const std::string& directory, bool memory) {
  TDataSession& ds = DataSession();
  if (memory) {
    if (!memory_) memory_ = std::make_unique<TDataDirectory>(ds, "MEMORY\\");
    return *memory_;
  }
  const std::string wanted = TrimBlanks(directory);
  for (auto& d : directories_) {
    if (EqualNoCase(TrimBlanks(d->Path()), wanted)) return *d;
  }
  directories_.push_back(std::make_unique<TDataDirectory>(ds, wanted));
  return *directories_.back();
}

void TKuraSession::Lock() {
  if (lockCount_++ == 0) EngineMutex().lock();
}

void TKuraSession::Unlock() {
  if (lockCount_ > 0 && --lockCount_ == 0) EngineMutex().unlock();
}

// ---- TKuraSessionList ----------------------------------------------------------

TKuraSessionList::TKuraSessionList() {
  sessions_.push_back(std::make_unique<TKuraSession>("Default"));
  sessions_.back()->default_ = true;
}

TKuraSession* TKuraSessionList::FindSession(std::string_view name) {
  std::lock_guard<std::mutex> guard(mutex_);
  const std::string wanted = TrimBlanks(name);
  for (auto& s : sessions_) {
    if (wanted.empty() ? s->default_ : EqualNoCase(s->SessionName(), wanted)) return s.get();
  }
  return nullptr;
}

TKuraSession& TKuraSessionList::SessionByName(std::string_view name) {
  TKuraSession* s = FindSession(name);
  if (s == nullptr) DatabaseError(kInvalidSessionName, name);
  return *s;
}

TKuraSession& TKuraSessionList::AddSession(std::string_view name) {
  if (TrimBlanks(name).empty() || FindSession(name) != nullptr) {
    DatabaseError(kInvalidSessionName, name);
  }
  std::lock_guard<std::mutex> guard(mutex_);
  sessions_.push_back(std::make_unique<TKuraSession>(std::string(name)));
  return *sessions_.back();
}

TKuraSession& TKuraSessionList::DefaultSession() { return *FindSession(""); }

int TKuraSessionList::Count() {
  std::lock_guard<std::mutex> guard(mutex_);
  return static_cast<int>(sessions_.size());
}

TKuraSessionList& Sessions() {
  static TKuraSessionList* list = new TKuraSessionList();  // lives to process end
  return *list;
}

}  // namespace kura
