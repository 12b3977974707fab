#include "engine/storage/file_handler.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/names.h"

namespace kura {

void RaiseOsError(int err, const std::string& table) {
  ErrorCode code = KURA_OSUNKNOWN;
  switch (err) {
    case ENOENT:
    case ENOTDIR: code = KURA_OSENOENT; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY: code = KURA_OSEACCES; break;
    case EMFILE:
    case ENFILE: code = KURA_OSEMFILE; break;
    case EBADF: code = KURA_OSEBADF; break;
    case ENOMEM: code = KURA_OSENOMEM; break;
    case EXDEV: code = KURA_OSENOTSAM; break;
    default: break;
  }
  RaiseWithOsError(code, err, {.table = table});
}

TFileHandler::TFileHandler(TFileList& list, std::string path, std::string table,
                           const FileOpenMode& mode)
    : list_(list), path_(std::move(path)), table_(std::move(table)), mode_(mode) {}

TFileHandler::~TFileHandler() { Close(); }

std::string TFileHandler::OsPath() const {
  return mode_.inMemory ? UpperAscii(TrimBlanks(path_))
                        : ResolvePath(list_.GetEnv(), TrimBlanks(path_));
}

void TFileHandler::Open() {
  if (file_ != nullptr) return;
  const int err = list_.Open(OsPath(), mode_, &file_, &handle_);
  if (err != 0) {
    file_ = nullptr;
    RaiseOsError(err, table_);
  }
}

void TFileHandler::Create() {
  if (file_ != nullptr) RaiseOsError(EBUSY, table_);
  const int err = list_.Create(OsPath(), mode_, &file_, &handle_);
  if (err != 0) {
    file_ = nullptr;
    RaiseOsError(err, table_);
  }
}

void TFileHandler::Close() {
  if (file_ == nullptr) return;
  list_.Close(file_, handle_);
  file_ = nullptr;
  handle_ = 0;
}

std::size_t TFileHandler::Read(std::uint64_t pos, void* buf, std::size_t n) {
  if (file_ == nullptr) Raise(KURA_READERR, {.table = table_});
  std::size_t done = 0;
  if (file_->Read(pos, buf, n, &done) != 0) Raise(KURA_READERR, {.table = table_});
  return done;
}

void TFileHandler::ReadExact(std::uint64_t pos, void* buf, std::size_t n) {
  if (Read(pos, buf, n) != n) Raise(KURA_READERR, {.table = table_});
}

void TFileHandler::BeginUndo(bool staging) { undo_ = Undo{Length(), {}, 0, staging, !staging, false}; }

void TFileHandler::ForgetUndo() { undo_.reset(); }

void TFileHandler::ApplyWrites() {
  if (!undo_) return;
  undo_->staging = false;
  // A write counts as applied before it is tried: a short one is put back too.
  while (undo_->applied < undo_->writes.size()) {
    const StagedWrite& w = undo_->writes[undo_->applied++];
    Write(w.pos, w.after.data(), w.after.size());
  }
}

void TFileHandler::UndoWrites() {
  if (!undo_) return;
  Undo undo = std::move(*undo_);
  undo_.reset();
  for (std::size_t i = undo.applied; i-- > 0;) {
    const StagedWrite& w = undo.writes[i];
    if (!w.before.empty()) Write(w.pos, w.before.data(), w.before.size());
  }
  const bool touched = undo.applied > 0 || (undo.record && undo.wrote);
  if (touched && Length() != undo.length) Truncate(undo.length);
}

void TFileHandler::Write(std::uint64_t pos, const void* buf, std::size_t n) {
  if (undo_) undo_->wrote = true;
  if (undo_ && undo_->staging) {
    const auto* bytes = static_cast<const std::uint8_t*>(buf);
    StagedWrite w{pos, {}, std::vector<std::uint8_t>(bytes, bytes + n)};
    if (pos < undo_->length) {
      w.before.resize(static_cast<std::size_t>(std::min<std::uint64_t>(n, undo_->length - pos)));
      ReadExact(pos, w.before.data(), w.before.size());
    }
    undo_->writes.push_back(std::move(w));
    return;
  }
  if (undo_ && undo_->record) {
    // Recording a single change: the old bytes are kept before the write.
    StagedWrite w{pos, {}, {}};
    if (pos < undo_->length) {
      w.before.resize(static_cast<std::size_t>(std::min<std::uint64_t>(n, undo_->length - pos)));
      ReadExact(pos, w.before.data(), w.before.size());
    }
    undo_->writes.push_back(std::move(w));
    ++undo_->applied;
  }
  std::size_t done = 0;
  if (file_ == nullptr || file_->Write(pos, buf, n, &done) != 0 || done != n) {
    Raise(KURA_WRITEERR, {.table = table_});
  }
}

void TFileHandler::Truncate(std::uint64_t length) {
  if (undo_) undo_->wrote = true;
  if (file_ == nullptr || file_->Truncate(length) != 0) {
    Raise(KURA_WRITEERR, {.table = table_});
  }
}

void TFileHandler::Flush() {
  if (undo_ && undo_->staging) return;  // the commit flushes once its writes are applied
  if (file_ == nullptr || file_->Flush() != 0) Raise(KURA_WRITEERR, {.table = table_});
}

std::uint64_t TFileHandler::Length() {
  if (file_ == nullptr) RaiseOsError(EBADF, table_);
  std::uint64_t length = 0;
  const int err = file_->Length(&length);
  if (err != 0) RaiseOsError(err, table_);
  return length;
}

bool TFileHandler::Lock(std::uint64_t offset, std::uint64_t length) {
  if (file_ == nullptr) RaiseOsError(EBADF, table_);
  const int err = file_->LockRange(offset, length);
  if (err == EAGAIN || err == EACCES) return false;
  if (err != 0) RaiseOsError(err, table_);
  return true;
}

bool TFileHandler::Unlock(std::uint64_t offset, std::uint64_t length) {
  return file_ != nullptr && file_->UnlockRange(offset, length) == 0;
}

bool TFileHandler::Exists(TFileList& list, const std::string& path, bool inMemory) {
  if (inMemory) return list.MemoryFileExists(UpperAscii(TrimBlanks(path)));
  FileAttributes attr;
  Env& env = list.GetEnv();
  return env.Attributes(ResolvePath(env, TrimBlanks(path)), &attr) == 0 &&
         !attr.isDirectory;
}

void TFileHandler::Delete(TFileList& list, const std::string& path, bool inMemory,
                          const std::string& table) {
  if (inMemory) {
    const int err = list.DeleteMemoryFile(UpperAscii(TrimBlanks(path)));
    if (err != 0) RaiseOsError(err, table);
    return;
  }
  Env& env = list.GetEnv();
  const std::string os = ResolvePath(env, TrimBlanks(path));
  if (list.IsOpen(os, false)) RaiseOsError(EBUSY, table);
  const int err = env.Delete(os);
  if (err != 0) RaiseOsError(err, table);
}

void TFileHandler::Rename(TFileList& list, const std::string& from,
                          const std::string& to, bool inMemory,
                          const std::string& table) {
  if (inMemory) {
    const int err = list.RenameMemoryFile(UpperAscii(TrimBlanks(from)),
                                          UpperAscii(TrimBlanks(to)));
    if (err != 0) RaiseOsError(err, table);
    return;
  }
  Env& env = list.GetEnv();
  const std::string os = ResolvePath(env, TrimBlanks(from));
  if (list.IsOpen(os, false)) RaiseOsError(EBUSY, table);
  // The target's directory is found like any path; its name is kept as given.
  std::string target = ToOsPath(TrimBlanks(to));
  const auto slash = target.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    target = ResolvePath(env, target.substr(0, slash)) + target.substr(slash);
  }
  const int err = env.Rename(os, target);
  if (err != 0) RaiseOsError(err, table);
}

void TFileHandler::Copy(TFileHandler& from, TFileHandler& to) {
  constexpr std::size_t kChunk = 65536;
  std::vector<std::uint8_t> buf(kChunk);
  const std::uint64_t length = from.Length();
  for (std::uint64_t pos = 0; pos < length; pos += kChunk) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - pos));
    from.ReadExact(pos, buf.data(), n);
    to.Write(pos, buf.data(), n);
  }
  to.Truncate(length);
}

}  // namespace kura
