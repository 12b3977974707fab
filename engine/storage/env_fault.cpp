#include "engine/storage/env_fault.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace kura {

struct FaultEnv::State {
  struct Fault {
    bool armed = false;
    int err = 0;
    std::size_t keep = 0;
  };
  std::mutex mu;
  Fault read, write, sync, open;  // guarded by mu
  bool lockConflict = false;       // guarded by mu
  std::uint64_t countdown = 0;     // guarded by mu: transfers to the counted fault
  int countedErr = 0;              // guarded by mu
  bool countedFired = false;       // guarded by mu
  std::uint64_t conflictOffset = 0;
  std::vector<std::string> opened;  // guarded by mu
  std::atomic<std::uint64_t> calls{0};
  std::atomic<std::uint64_t> lockCalls{0};
  std::atomic<std::uint64_t> writeCalls{0};
  std::atomic<std::uint64_t> readCalls{0};
  std::atomic<std::uint64_t> sleepCalls{0};

  // True when this transfer is the one the counted fault waits for.
  bool CountedFault(int* err) {
    std::lock_guard<std::mutex> g(mu);
    if (countdown == 0 || --countdown != 0) return false;
    countedFired = true;
    *err = countedErr;
    return true;
  }

  struct Counted {
    std::uint64_t calls = 0;
    std::uint64_t failAt = 0;  // 0: no fault
    int err = 0;
    bool sticky = false;
  };
  static constexpr int kKinds = 7;
  Counted counted[kKinds];  // guarded by mu

  // Counts a call of `kind`; returns the errno value it must fail with, or 0.
  int Count(FaultCall kind) {
    std::lock_guard<std::mutex> g(mu);
    Counted& c = counted[static_cast<int>(kind)];
    ++c.calls;
    if (c.failAt == 0 || c.calls < c.failAt) return 0;
    if (c.calls == c.failAt || c.sticky) return c.err;
    return 0;
  }

  // ---- power cut ----
  // Calls left to the cut (0: none armed), whether it happened, the files
  // written since their last Sync with the contents they had then (nullopt:
  // the file was not there), and the open files to reach them through.
  std::uint64_t cutCountdown = 0;  // guarded by mu
  bool cutHappened = false;        // guarded by mu
  std::mt19937 cutRandom;          // guarded by mu
  std::map<std::string, std::optional<std::vector<std::uint8_t>>> durable;  // guarded by mu
  std::set<std::string> createdUnsynced;                                    // guarded by mu
  std::multimap<std::string, EnvFile*> openFiles;                           // guarded by mu
  Env* base = nullptr;

  bool Dead() {
    std::lock_guard<std::mutex> g(mu);
    return cutHappened;
  }
  // Before a write, truncate or sync of `path` through `file`: true when
  // the process is gone (the call fails with EIO), which this call may be
  // the moment of. Otherwise the file's contents as last synced are noted
  // before its first change.
  bool PowerStep(const std::string& path, EnvFile* file, bool sync);
  void CutPower();
  static std::vector<std::uint8_t> Contents(EnvFile* file);

  bool Armed(FaultCall kind) {
    std::lock_guard<std::mutex> g(mu);
    return counted[static_cast<int>(kind)].failAt != 0;
  }

  // Returns true (and disarms) when `f` is armed.
  bool Take(Fault& f, Fault* out) {
    std::lock_guard<std::mutex> g(mu);
    if (!f.armed) return false;
    *out = f;
    f.armed = false;
    return true;
  }
};

namespace {

class FaultFile final : public EnvFile {
 public:
  FaultFile(std::unique_ptr<EnvFile> base, std::shared_ptr<FaultEnv::State> s, std::string path)
      : base_(std::move(base)), s_(std::move(s)), path_(std::move(path)) {
    std::lock_guard<std::mutex> g(s_->mu);
    s_->openFiles.emplace(path_, base_.get());
  }
  ~FaultFile() override {
    std::lock_guard<std::mutex> g(s_->mu);
    for (auto [it, end] = s_->openFiles.equal_range(path_); it != end; ++it) {
      if (it->second == base_.get()) {
        s_->openFiles.erase(it);
        break;
      }
    }
  }

  int Read(std::uint64_t offset, void* buf, std::size_t n,
           std::size_t* done) override {
    ++s_->calls;
    ++s_->readCalls;
    if (s_->Dead()) return *done = 0, EIO;
    if (int err = 0; s_->CountedFault(&err)) return *done = 0, err;
    if (const int err = s_->Count(FaultCall::kRead)) return *done = 0, err;
    FaultEnv::State::Fault f;
    if (s_->Take(s_->read, &f)) {
      if (f.err != 0) return *done = 0, f.err;
      return base_->Read(offset, buf, std::min(n, f.keep), done);
    }
    return base_->Read(offset, buf, n, done);
  }
  int Write(std::uint64_t offset, const void* buf, std::size_t n,
            std::size_t* done) override {
    ++s_->calls;
    ++s_->writeCalls;
    if (s_->PowerStep(path_, base_.get(), false)) return *done = 0, EIO;
    if (int err = 0; s_->CountedFault(&err)) return *done = 0, err;
    if (const int err = s_->Count(FaultCall::kWrite)) return *done = 0, err;
    if (s_->Armed(FaultCall::kExtend)) {
      std::uint64_t length = 0;
      if (base_->Length(&length) == 0 && offset + n > length) {
        if (const int err = s_->Count(FaultCall::kExtend)) return *done = 0, err;
      }
    }
    FaultEnv::State::Fault f;
    if (s_->Take(s_->write, &f)) {
      if (f.err != 0) return *done = 0, f.err;
      return base_->Write(offset, buf, std::min(n, f.keep), done);
    }
    return base_->Write(offset, buf, n, done);
  }
  int Truncate(std::uint64_t length) override {
    ++s_->calls;
    if (s_->PowerStep(path_, base_.get(), false)) return EIO;
    if (const int err = s_->Count(FaultCall::kTruncate)) return err;
    return base_->Truncate(length);
  }
  int Sync() override {
    ++s_->calls;
    if (s_->PowerStep(path_, base_.get(), true)) return EIO;
    if (const int err = s_->Count(FaultCall::kSync)) return err;
    FaultEnv::State::Fault f;
    if (s_->Take(s_->sync, &f)) return f.err;
    const int err = base_->Sync();
    if (err == 0) {
      std::lock_guard<std::mutex> g(s_->mu);
      s_->durable.erase(path_);  // what it holds now survives a cut
    }
    return err;
  }
  int Length(std::uint64_t* length) override {
    ++s_->calls;
    if (s_->Dead()) return EIO;
    return base_->Length(length);
  }
  int Lock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    ++s_->calls;
    ++s_->lockCalls;
    if (s_->Dead()) return EIO;
    if (const int err = s_->Count(FaultCall::kLock)) return err;
    {
      std::lock_guard<std::mutex> g(s_->mu);
      if (s_->lockConflict && s_->conflictOffset >= offset &&
          s_->conflictOffset - offset < length) {
        return EAGAIN;
      }
    }
    return base_->Lock(offset, length, exclusive);
  }
  int Unlock(std::uint64_t offset, std::uint64_t length) override {
    ++s_->calls;
    ++s_->lockCalls;
    if (const int err = s_->Count(FaultCall::kUnlock)) return err;
    return base_->Unlock(offset, length);
  }

 private:
  std::unique_ptr<EnvFile> base_;
  std::shared_ptr<FaultEnv::State> s_;
  std::string path_;
};

}  // namespace

std::vector<std::uint8_t> FaultEnv::State::Contents(EnvFile* file) {
  std::uint64_t length = 0;
  std::vector<std::uint8_t> bytes;
  if (file->Length(&length) != 0) return bytes;
  bytes.resize(length);
  std::size_t done = 0;
  if (length > 0 && file->Read(0, bytes.data(), bytes.size(), &done) != 0) done = 0;
  bytes.resize(done);
  return bytes;
}

bool FaultEnv::State::PowerStep(const std::string& path, EnvFile* file, bool sync) {
  std::lock_guard<std::mutex> g(mu);
  if (cutHappened) return true;
  if (cutCountdown == 0) return false;
  if (--cutCountdown == 0) {
    CutPower();
    return true;
  }
  if (!sync && durable.count(path) == 0) durable.emplace(path, Contents(file));
  return false;
}

// Under mu. Each file written since its last Sync takes one of three
// fates: its writes are lost, kept, or kept sector by sector at random;
// its length is its old or its new one. Created files whose directory was
// not synced vanish half of the time.
void FaultEnv::State::CutPower() {
  cutHappened = true;
  constexpr std::size_t kSector = 512;
  for (const auto& [path, before] : durable) {
    const auto open = openFiles.find(path);
    std::unique_ptr<EnvFile> own;
    EnvFile* file = open != openFiles.end() ? open->second : nullptr;
    if (file == nullptr && base->Open(path, {}, &own) == 0) file = own.get();
    if (file == nullptr) continue;
    const std::vector<std::uint8_t> now = Contents(file);
    const std::vector<std::uint8_t> old = before.value_or(std::vector<std::uint8_t>{});
    const int fate = std::uniform_int_distribution<int>(0, 2)(cutRandom);
    const bool newLength = fate == 1 || (fate == 2 && (cutRandom() & 1) != 0);
    std::vector<std::uint8_t> left(newLength ? now.size() : old.size(), 0);
    for (std::size_t at = 0; at < left.size(); at += kSector) {
      const bool keep = fate == 1 || (fate == 2 && (cutRandom() & 1) != 0);
      const std::vector<std::uint8_t>& from = keep ? now : old;
      for (std::size_t i = at; i < std::min(left.size(), at + kSector); ++i) {
        left[i] = i < from.size() ? from[i] : 0;
      }
    }
    std::size_t done = 0;
    file->Truncate(0);
    if (!left.empty()) file->Write(0, left.data(), left.size(), &done);
  }
  for (const std::string& path : createdUnsynced) {
    if ((cutRandom() & 1) != 0) base->Delete(path);
  }
  durable.clear();
  createdUnsynced.clear();
}

FaultEnv::FaultEnv(Env* base) : base_(base), state_(std::make_shared<State>()) {
  state_->base = base;
}
FaultEnv::~FaultEnv() = default;

void FaultEnv::FailNextRead(int err, std::size_t keep) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->read = {true, err, keep};
}
void FaultEnv::FailNextWrite(int err, std::size_t keep) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->write = {true, err, keep};
}
void FaultEnv::FailNextSync(int err) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->sync = {true, err, 0};
}
void FaultEnv::FailNextOpen(int err) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->open = {true, err, 0};
}
void FaultEnv::FailNthTransfer(std::uint64_t n, int err) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->countdown = n;
  state_->countedErr = err;
  state_->countedFired = false;
}
bool FaultEnv::CountedFaultFired() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->countedFired;
}
void FaultEnv::SetLockConflict(std::uint64_t offset) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->lockConflict = true;
  state_->conflictOffset = offset;
}
void FaultEnv::ClearLockConflict() {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->lockConflict = false;
}
void FaultEnv::FailCall(FaultCall kind, std::uint64_t n, int err, bool sticky) {
  std::lock_guard<std::mutex> g(state_->mu);
  State::Counted& c = state_->counted[static_cast<int>(kind)];
  c.failAt = c.calls + n;
  c.err = err;
  c.sticky = sticky;
}
void FaultEnv::ClearCallFaults() {
  std::lock_guard<std::mutex> g(state_->mu);
  for (State::Counted& c : state_->counted) c.failAt = 0;
}
std::uint64_t FaultEnv::Calls(FaultCall kind) const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->counted[static_cast<int>(kind)].calls;
}
std::uint64_t FaultEnv::SystemCalls() const { return state_->calls; }
std::uint64_t FaultEnv::LockCalls() const { return state_->lockCalls; }
std::uint64_t FaultEnv::WriteCalls() const { return state_->writeCalls; }
std::uint64_t FaultEnv::ReadCalls() const { return state_->readCalls; }
std::uint64_t FaultEnv::SleepCalls() const { return state_->sleepCalls; }
std::vector<std::string> FaultEnv::OpenedPaths() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->opened;
}
void FaultEnv::ResetCounters() {
  state_->calls = 0;
  state_->lockCalls = 0;
  state_->writeCalls = 0;
  state_->readCalls = 0;
  state_->sleepCalls = 0;
}

int FaultEnv::Open(const std::string& path, const OpenOptions& options,
                   std::unique_ptr<EnvFile>* file) {
  ++state_->calls;
  State::Fault f;
  if (state_->Take(state_->open, &f)) return f.err;
  {
    std::lock_guard<std::mutex> g(state_->mu);
    state_->opened.push_back(path);
  }
  if (state_->Dead()) return EIO;
  FileAttributes before;
  const bool existed = base_->Attributes(path, &before) == 0;
  std::unique_ptr<EnvFile> base;
  const int err = base_->Open(path, options, &base);
  if (err != 0) return err;
  {
    std::lock_guard<std::mutex> g(state_->mu);
    // A new file's directory entry survives a cut only once its
    // directory was synced.
    if (state_->cutCountdown > 0 && options.create && !existed) {
      state_->createdUnsynced.insert(path);
      state_->durable.emplace(path, std::nullopt);
    }
  }
  *file = std::make_unique<FaultFile>(std::move(base), state_, path);
  return 0;
}
int FaultEnv::Delete(const std::string& path) { return base_->Delete(path); }
int FaultEnv::Rename(const std::string& from, const std::string& to) {
  return base_->Rename(from, to);
}
int FaultEnv::Attributes(const std::string& path, FileAttributes* attr) {
  return base_->Attributes(path, attr);
}
int FaultEnv::ListDirectory(const std::string& dir,
                            std::vector<std::string>* names) {
  return base_->ListDirectory(dir, names);
}
int FaultEnv::MakeDirectory(const std::string& dir) {
  return base_->MakeDirectory(dir);
}
int FaultEnv::SyncDirectory(const std::string& dir) {
  if (state_->Dead()) return EIO;
  const int err = base_->SyncDirectory(dir);
  if (err != 0) return err;
  std::lock_guard<std::mutex> g(state_->mu);
  std::string prefix = dir;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  for (auto it = state_->createdUnsynced.begin(); it != state_->createdUnsynced.end();) {
    const bool inDir = it->compare(0, prefix.size(), prefix) == 0 &&
                       it->find('/', prefix.size()) == std::string::npos;
    it = inDir ? state_->createdUnsynced.erase(it) : std::next(it);
  }
  return 0;
}
void FaultEnv::ArmPowerCut(std::uint64_t n, std::uint32_t seed) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->cutCountdown = n;
  state_->cutHappened = false;
  state_->cutRandom.seed(seed);
  state_->durable.clear();
  state_->createdUnsynced.clear();
}
bool FaultEnv::PowerCutHappened() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->cutHappened;
}
int FaultEnv::MakePrivateDirectory(const std::string& parent, std::string* made) {
  return base_->MakePrivateDirectory(parent, made);
}
int FaultEnv::RemoveDirectory(const std::string& dir) { return base_->RemoveDirectory(dir); }
int FaultEnv::SetReadOnly(const std::string& path, bool readOnly) {
  return base_->SetReadOnly(path, readOnly);
}
std::string FaultEnv::CurrentDirectory() { return base_->CurrentDirectory(); }
std::int64_t FaultEnv::ThreadId() { return base_->ThreadId(); }
std::int64_t FaultEnv::NowMillis() { return base_->NowMillis(); }
double FaultEnv::LocalDateTime() { return base_->LocalDateTime(); }
void FaultEnv::SleepMillis(int ms) {
  ++state_->sleepCalls;
  base_->SleepMillis(ms);
}
std::uint32_t FaultEnv::Random16() { return base_->Random16(); }

}  // namespace kura
