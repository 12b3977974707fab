#include "engine/storage/file_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/storage/names.h"

namespace kura {

// ---- TAbstractFile ------------------------------------------------------------

TAbstractFile::TAbstractFile(std::string name, bool exclusive, bool readOnly,
                             bool readOnlyAttribute)
    : name_(std::move(name)), exclusive_(exclusive), readOnly_(readOnly),
      readOnlyAttribute_(readOnlyAttribute) {}

int TAbstractFile::Read(std::uint64_t pos, void* buf, std::size_t n,
                        std::size_t* done) {
  std::lock_guard<std::mutex> g(mu_);
  return DoRead(pos, buf, n, done);
}

int TAbstractFile::Write(std::uint64_t pos, const void* buf, std::size_t n,
                         std::size_t* done) {
  std::lock_guard<std::mutex> g(mu_);
  if (readOnly_) return EBADF;
  return DoWrite(pos, buf, n, done);
}

int TAbstractFile::Truncate(std::uint64_t length) {
  std::lock_guard<std::mutex> g(mu_);
  if (readOnly_) return EBADF;
  return DoTruncate(length);
}

int TAbstractFile::Flush() {
  std::lock_guard<std::mutex> g(mu_);
  return DoFlush();
}

int TAbstractFile::Length(std::uint64_t* length) {
  std::lock_guard<std::mutex> g(mu_);
  return DoLength(length);
}

int TAbstractFile::LockRange(std::uint64_t offset, std::uint64_t length) {
  std::lock_guard<std::mutex> g(mu_);
  SettleOwedLocked();
  auto overlaps = [&](const Range& r) { return offset < r.offset + r.length && r.offset < offset + length; };
  for (const Range& r : held_) {
    if (overlaps(r)) return EAGAIN;
  }
  // A range the system would not let go of may still be held by this
  // process; locking over it and later unlocking would release it under
  // the new holder's feet, so the request waits until it is let go.
  for (const Range& r : owed_) {
    if (overlaps(r)) return r.err;
  }
  const int err = DoLock(offset, length);
  if (err == 0) held_.push_back({offset, length});
  return err;
}

int TAbstractFile::UnlockRange(std::uint64_t offset, std::uint64_t length) {
  std::lock_guard<std::mutex> g(mu_);
  SettleOwedLocked();
  auto it = std::find_if(held_.begin(), held_.end(), [&](const Range& r) {
    return r.offset == offset && r.length == length;
  });
  if (it == held_.end()) return ENOLCK;
  const int err = DoUnlock(offset, length);
  held_.erase(it);
  if (err != 0) owed_.push_back({offset, length, err});
  return err;
}

void TAbstractFile::SettleOwedLocked() {
  for (auto it = owed_.begin(); it != owed_.end();) {
    it->err = DoUnlock(it->offset, it->length);
    it = it->err == 0 ? owed_.erase(it) : it + 1;
  }
}

// ---- TPhysicalFile ----------------------------------------------------------

TPhysicalFile::TPhysicalFile(std::string name, std::unique_ptr<EnvFile> file,
                             bool exclusive, bool readOnly, bool readOnlyAttribute)
    : TAbstractFile(std::move(name), exclusive, readOnly, readOnlyAttribute),
      file_(std::move(file)) {}

int TPhysicalFile::DoRead(std::uint64_t pos, void* buf, std::size_t n,
                          std::size_t* done) {
  return file_->Read(pos, buf, n, done);
}
int TPhysicalFile::DoWrite(std::uint64_t pos, const void* buf, std::size_t n,
                           std::size_t* done) {
  return file_->Write(pos, buf, n, done);
}
int TPhysicalFile::DoTruncate(std::uint64_t length) { return file_->Truncate(length); }
int TPhysicalFile::DoFlush() { return file_->Sync(); }
int TPhysicalFile::DoLength(std::uint64_t* length) { return file_->Length(length); }
int TPhysicalFile::DoLock(std::uint64_t offset, std::uint64_t length) {
  return file_->Lock(offset, length, true);
}
int TPhysicalFile::DoUnlock(std::uint64_t offset, std::uint64_t length) {
  return file_->Unlock(offset, length);
}

// ---- TMemoryFile ------------------------------------------------------------

namespace {
constexpr std::size_t kMemoryFileStep = 4096;
}

TMemoryFile::TMemoryFile(std::string name)
    : TAbstractFile(std::move(name), false, false, false) {}

int TMemoryFile::DoRead(std::uint64_t pos, void* buf, std::size_t n,
                        std::size_t* done) {
  *done = pos >= length_ ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - pos));
  if (*done > 0) std::memcpy(buf, block_.data() + pos, *done);
  return 0;
}

int TMemoryFile::DoWrite(std::uint64_t pos, const void* buf, std::size_t n,
                         std::size_t* done) {
  const std::uint64_t end = pos + n;
  if (end > block_.size()) {
    const std::uint64_t steps = (end + kMemoryFileStep - 1) / kMemoryFileStep;
    block_.resize(static_cast<std::size_t>(steps * kMemoryFileStep));
  }
  if (pos > length_) std::memset(block_.data() + length_, 0, pos - length_);
  if (n > 0) std::memcpy(block_.data() + pos, buf, n);
  length_ = std::max(length_, end);
  *done = n;
  return 0;
}

int TMemoryFile::DoTruncate(std::uint64_t length) {
  if (length > block_.size()) {
    std::size_t done = 0;
    return DoWrite(length, nullptr, 0, &done);
  }
  if (length > length_) std::memset(block_.data() + length_, 0, length - length_);
  length_ = length;
  return 0;
}

int TMemoryFile::DoLength(std::uint64_t* length) {
  *length = length_;
  return 0;
}

// ---- TFileList ----------------------------------------------------------------

TFileList::TFileList(Env* env) : env_(env) {}
TFileList::~TFileList() = default;

TFileList& TFileList::Process() {
  static TFileList list(Env::Default());
  return list;
}

TAbstractFile* TFileList::FindLocked(const std::string& path, bool inMemory) {
  const std::string key = TrimBlanks(path);
  for (const auto& f : files_) {
    if (f->inMemory_ == inMemory && EqualNoCase(f->name_, key)) return f.get();
  }
  return nullptr;
}

int TFileList::AddHandleLocked(TAbstractFile* file) {
  const int handle = file->nextHandle_++;
  file->handles_.push_back(handle);
  return handle;
}

int TFileList::OpenDiskLocked(const std::string& path, const FileOpenMode& mode,
                              bool create, std::unique_ptr<TAbstractFile>* out) {
  FileAttributes attr;
  bool readOnlyAttribute = false;
  if (!create) {
    const int err = env_->Attributes(path, &attr);
    if (err != 0) return err;
    if (attr.isDirectory) return ENOENT;
    readOnlyAttribute = attr.readOnly;
  }
  OpenOptions options;
  options.share = mode.exclusive ? ShareMode::kExclusive : ShareMode::kShared;
  options.create = create;
  options.createNew = create && (mode.createNew || mode.temporary);
  options.access = readOnlyAttribute ? OpenAccess::kReadOnly : OpenAccess::kReadWrite;
  std::unique_ptr<EnvFile> file;
  int err = env_->Open(path, options, &file);
  bool readOnly = readOnlyAttribute;
  if (!create && !readOnly && (err == EACCES || err == EPERM || err == EROFS)) {
    // A share that refuses writing: open for reading only.
    options.access = OpenAccess::kReadOnly;
    err = env_->Open(path, options, &file);
    readOnly = true;
  }
  if (err != 0) return err;
  *out = std::make_unique<TPhysicalFile>(path, std::move(file), mode.exclusive,
                                         readOnly, readOnlyAttribute);
  return 0;
}

int TFileList::Open(const std::string& path, const FileOpenMode& mode,
                    TAbstractFile** file, int* handle) {
  std::lock_guard<std::mutex> g(mu_);
  TAbstractFile* f = FindLocked(path, mode.inMemory);
  if (f != nullptr && !f->handles_.empty()) {
    if (f->exclusive_ || mode.exclusive) return EBUSY;
  } else if (f != nullptr) {
    f->exclusive_ = mode.exclusive;  // an in-memory file without users
  } else {
    if (mode.inMemory) return ENOENT;
    std::unique_ptr<TAbstractFile> opened;
    const int err = OpenDiskLocked(TrimBlanks(path), mode, false, &opened);
    if (err != 0) return err;
    opened->deleteOnClose_ = mode.temporary;
    f = opened.get();
    files_.push_back(std::move(opened));
  }
  *file = f;
  *handle = AddHandleLocked(f);
  return 0;
}

int TFileList::Create(const std::string& path, const FileOpenMode& mode,
                      TAbstractFile** file, int* handle) {
  std::lock_guard<std::mutex> g(mu_);
  TAbstractFile* f = FindLocked(path, mode.inMemory);
  if (f != nullptr && !f->handles_.empty()) return EBUSY;
  if (f != nullptr) {
    files_.erase(std::find_if(files_.begin(), files_.end(),
                              [f](const auto& p) { return p.get() == f; }));
  }
  std::unique_ptr<TAbstractFile> created;
  if (mode.inMemory) {
    created = std::make_unique<TMemoryFile>(TrimBlanks(path));
    created->inMemory_ = true;
  } else {
    FileOpenMode exclusive = mode;
    exclusive.exclusive = true;
    const int err = OpenDiskLocked(TrimBlanks(path), exclusive, true, &created);
    if (err != 0) return err;
  }
  created->exclusive_ = true;
  created->deleteOnClose_ = mode.temporary;
  f = created.get();
  files_.push_back(std::move(created));
  *file = f;
  *handle = AddHandleLocked(f);
  return 0;
}

void TFileList::Close(TAbstractFile* file, int handle) {
  std::lock_guard<std::mutex> g(mu_);
  auto& handles = file->handles_;
  handles.erase(std::remove(handles.begin(), handles.end(), handle), handles.end());
  if (!handles.empty()) return;
  if (file->inMemory_ && !file->deleteOnClose_) return;
  const std::string name = file->name_;
  const bool deleteFile = file->deleteOnClose_ && !file->inMemory_;
  files_.erase(std::find_if(files_.begin(), files_.end(),
                            [file](const auto& p) { return p.get() == file; }));
  if (deleteFile) env_->Delete(name);
}

bool TFileList::IsOpen(const std::string& path, bool inMemory) {
  std::lock_guard<std::mutex> g(mu_);
  TAbstractFile* f = FindLocked(path, inMemory);
  return f != nullptr && !f->handles_.empty();
}

bool TFileList::MemoryFileExists(const std::string& name) {
  std::lock_guard<std::mutex> g(mu_);
  return FindLocked(name, true) != nullptr;
}

int TFileList::DeleteMemoryFile(const std::string& name) {
  std::lock_guard<std::mutex> g(mu_);
  TAbstractFile* f = FindLocked(name, true);
  if (f == nullptr) return ENOENT;
  if (!f->handles_.empty()) return EBUSY;
  files_.erase(std::find_if(files_.begin(), files_.end(),
                            [f](const auto& p) { return p.get() == f; }));
  return 0;
}

int TFileList::RenameMemoryFile(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> g(mu_);
  TAbstractFile* f = FindLocked(from, true);
  if (f == nullptr) return ENOENT;
  if (!f->handles_.empty() || FindLocked(to, true) != nullptr) return EBUSY;
  f->name_ = TrimBlanks(to);
  return 0;
}

}  // namespace kura
