// The in-memory Env: files are byte vectors in a map, directories a set of
// paths, and byte-range locks a list per file. Locks and sharing modes
// conflict between different open files exactly as between processes.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "engine/storage/env.h"

namespace kura {
namespace {

struct MemLock {
  const void* owner;
  std::uint64_t offset;
  std::uint64_t length;
  bool exclusive;
};

struct MemNode {
  std::vector<std::uint8_t> data;
  bool readOnly = false;
  int shareOpens = 0;
  bool exclusiveOpen = false;
  std::vector<MemLock> locks;  // guarded by MemState::mu
};

struct MemState {
  std::mutex mu;
  std::map<std::string, std::shared_ptr<MemNode>> files;  // guarded by mu
  std::set<std::string> dirs;                             // guarded by mu
};

bool Overlaps(std::uint64_t a, std::uint64_t alen, std::uint64_t b,
              std::uint64_t blen) {
  return a < b + blen && b < a + alen;
}

std::string Normalize(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class MemFile final : public EnvFile {
 public:
  MemFile(std::shared_ptr<MemState> state, std::shared_ptr<MemNode> node,
          bool writable, bool exclusive)
      : state_(std::move(state)), node_(std::move(node)),
        writable_(writable), exclusive_(exclusive) {}

  ~MemFile() override {
    std::lock_guard<std::mutex> g(state_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [this](const MemLock& l) { return l.owner == this; }),
                locks.end());
    if (exclusive_) node_->exclusiveOpen = false; else --node_->shareOpens;
  }

  int Read(std::uint64_t offset, void* buf, std::size_t n,
           std::size_t* done) override {
    std::lock_guard<std::mutex> g(state_->mu);
    const auto& d = node_->data;
    *done = offset >= d.size() ? 0 : std::min<std::uint64_t>(n, d.size() - offset);
    if (*done > 0) std::memcpy(buf, d.data() + offset, *done);
    return 0;
  }
  int Write(std::uint64_t offset, const void* buf, std::size_t n,
            std::size_t* done) override {
    if (!writable_) return EBADF;
    std::lock_guard<std::mutex> g(state_->mu);
    auto& d = node_->data;
    if (d.size() < offset + n) d.resize(offset + n);
    if (n > 0) std::memcpy(d.data() + offset, buf, n);
    *done = n;
    return 0;
  }
  int Truncate(std::uint64_t length) override {
    if (!writable_) return EBADF;
    std::lock_guard<std::mutex> g(state_->mu);
    node_->data.resize(length);
    return 0;
  }
  int Sync() override { return 0; }
  int Length(std::uint64_t* length) override {
    std::lock_guard<std::mutex> g(state_->mu);
    *length = node_->data.size();
    return 0;
  }
  int Lock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    exclusive = exclusive && writable_;
    std::lock_guard<std::mutex> g(state_->mu);
    for (const MemLock& l : node_->locks) {
      if (l.owner == this) continue;
      if ((exclusive || l.exclusive) && Overlaps(offset, length, l.offset, l.length)) {
        return EAGAIN;
      }
    }
    node_->locks.push_back({this, offset, length, exclusive});
    return 0;
  }
  int Unlock(std::uint64_t offset, std::uint64_t length) override {
    std::lock_guard<std::mutex> g(state_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [&](const MemLock& l) {
                                 return l.owner == this && l.offset == offset &&
                                        l.length == length;
                               }),
                locks.end());
    return 0;
  }

 private:
  std::shared_ptr<MemState> state_;
  std::shared_ptr<MemNode> node_;
  bool writable_;
  bool exclusive_;
};

class MemEnv final : public Env {
 public:
  MemEnv() : state_(std::make_shared<MemState>()) { state_->dirs.insert("/mem"); }

  int Open(const std::string& rawPath, const OpenOptions& options,
           std::unique_ptr<EnvFile>* file) override {
    const std::string path = Normalize(rawPath);
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->dirs.count(path) != 0) return EISDIR;
    auto it = state_->files.find(path);
    if (it != state_->files.end() && options.create && options.createNew) return EEXIST;
    if (it == state_->files.end()) {
      if (!options.create) return ENOENT;
      if (state_->dirs.count(Parent(path)) == 0) return ENOENT;
      it = state_->files.emplace(path, std::make_shared<MemNode>()).first;
    }
    MemNode& node = *it->second;
    const bool rw = options.access == OpenAccess::kReadWrite;
    if (rw && node.readOnly) return EACCES;
    const bool exclusive = options.share == ShareMode::kExclusive;
    if (node.exclusiveOpen || (exclusive && node.shareOpens > 0)) return EBUSY;
    if (exclusive) node.exclusiveOpen = true; else ++node.shareOpens;
    if (options.create && options.truncate) node.data.clear();
    *file = std::make_unique<MemFile>(state_, it->second, rw, exclusive);
    return 0;
  }
  int Delete(const std::string& path) override {
    std::lock_guard<std::mutex> g(state_->mu);
    return state_->files.erase(Normalize(path)) != 0 ? 0 : ENOENT;
  }
  int Rename(const std::string& from, const std::string& to) override {
    std::lock_guard<std::mutex> g(state_->mu);
    auto it = state_->files.find(Normalize(from));
    if (it == state_->files.end()) return ENOENT;
    auto node = it->second;
    state_->files.erase(it);
    state_->files[Normalize(to)] = node;
    return 0;
  }
  int Attributes(const std::string& rawPath, FileAttributes* attr) override {
    const std::string path = Normalize(rawPath);
    std::lock_guard<std::mutex> g(state_->mu);
    *attr = FileAttributes{};
    if (state_->dirs.count(path) != 0) {
      attr->exists = attr->isDirectory = true;
      return 0;
    }
    auto it = state_->files.find(path);
    if (it == state_->files.end()) return ENOENT;
    attr->exists = true;
    attr->readOnly = it->second->readOnly;
    attr->size = it->second->data.size();
    return 0;
  }
  int ListDirectory(const std::string& rawDir,
                    std::vector<std::string>* names) override {
    const std::string dir = Normalize(rawDir);
    std::lock_guard<std::mutex> g(state_->mu);
    names->clear();
    if (state_->dirs.count(dir) == 0) return ENOENT;
    for (const auto& [path, node] : state_->files) {
      if (Parent(path) == dir) names->push_back(path.substr(dir.size() + 1));
    }
    for (const std::string& d : state_->dirs) {
      if (d != dir && Parent(d) == dir) names->push_back(d.substr(dir.size() + 1));
    }
    return 0;
  }
  int MakeDirectory(const std::string& dir) override {
    std::lock_guard<std::mutex> g(state_->mu);
    return state_->dirs.insert(Normalize(dir)).second ? 0 : EEXIST;
  }
  int SyncDirectory(const std::string& dir) override {
    std::lock_guard<std::mutex> g(state_->mu);
    return state_->dirs.count(Normalize(dir)) != 0 ? 0 : ENOENT;
  }
  int MakePrivateDirectory(const std::string& parent, std::string* made) override {
    std::lock_guard<std::mutex> g(state_->mu);
    const std::string p = Normalize(parent);
    if (state_->dirs.count(p) == 0) return ENOENT;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = p + "/kura-" + std::to_string(gen_() % 1000000);
      if (state_->dirs.insert(name).second) {
        *made = name;
        return 0;
      }
    }
    return EEXIST;
  }
  int RemoveDirectory(const std::string& rawDir) override {
    const std::string dir = Normalize(rawDir);
    std::lock_guard<std::mutex> g(state_->mu);
    if (state_->dirs.count(dir) == 0) return ENOENT;
    for (const auto& [path, node] : state_->files) {
      if (Parent(path) == dir) return ENOTEMPTY;
    }
    for (const std::string& d : state_->dirs) {
      if (d != dir && Parent(d) == dir) return ENOTEMPTY;
    }
    state_->dirs.erase(dir);
    return 0;
  }
  int SetReadOnly(const std::string& path, bool readOnly) override {
    std::lock_guard<std::mutex> g(state_->mu);
    auto it = state_->files.find(Normalize(path));
    if (it == state_->files.end()) return ENOENT;
    it->second->readOnly = readOnly;
    return 0;
  }
  std::string CurrentDirectory() override { return "/mem"; }
  std::int64_t ThreadId() override {
    return static_cast<std::int64_t>(
        std::hash<std::thread::id>{}(std::this_thread::get_id()) & 0x7FFFFFFF);
  }
  std::int64_t NowMillis() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
        .count();
  }
  double LocalDateTime() override { return 45000.5; }
  void SleepMillis(int ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  std::uint32_t Random16() override {
    std::lock_guard<std::mutex> g(state_->mu);
    return gen_() & 0xFFFFu;
  }

 private:
  static std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
  }

  std::shared_ptr<MemState> state_;
  std::mt19937 gen_{12345};  // guarded by state_->mu
};

}  // namespace

std::unique_ptr<Env> NewMemEnv() { return std::make_unique<MemEnv>(); }

}  // namespace kura
