// The POSIX Env: pread/pwrite on descriptors opened with O_CLOEXEC, and
// open-file-description locks (F_OFD_SETLK), which conflict between every
// two opens of a file, in this process or another, and are released when
// the last descriptor of the open is closed.
//
// Sharing modes are emulated by a lock on one byte beyond the format's lock
// offsets (kShareModeLockOffset): a shared open holds it shared, an
// exclusive open holds it exclusively. A descriptor opened read-only can
// hold only shared locks, so its exclusive requests are taken shared.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>

#include "engine/storage/env.h"
#include "engine/storage/file_format.h"

namespace kura {
namespace {

int SetOfdLock(int fd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
  const int err = errno;
  return err == EACCES ? EAGAIN : err;
}

class PosixFile final : public EnvFile {
 public:
  PosixFile(int fd, bool writable) : fd_(fd), writable_(writable) {}
  ~PosixFile() override { ::close(fd_); }

  int Read(std::uint64_t offset, void* buf, std::size_t n,
           std::size_t* done) override {
    *done = 0;
    auto* p = static_cast<char*>(buf);
    while (*done < n) {
      const ssize_t r = ::pread(fd_, p + *done, n - *done,
                                static_cast<off_t>(offset + *done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (r == 0) break;
      *done += static_cast<std::size_t>(r);
    }
    return 0;
  }

  int Write(std::uint64_t offset, const void* buf, std::size_t n,
            std::size_t* done) override {
    *done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (*done < n) {
      const ssize_t r = ::pwrite(fd_, p + *done, n - *done,
                                 static_cast<off_t>(offset + *done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (r == 0) return EIO;
      *done += static_cast<std::size_t>(r);
    }
    return 0;
  }

  int Truncate(std::uint64_t length) override {
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0 ? 0 : errno;
  }
  int Sync() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }
  int Length(std::uint64_t* length) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    *length = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }
  int Lock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    const short type = exclusive && writable_ ? F_WRLCK : F_RDLCK;
    return SetOfdLock(fd_, type, offset, length);
  }
  int Unlock(std::uint64_t offset, std::uint64_t length) override {
    return SetOfdLock(fd_, F_UNLCK, offset, length);
  }

 private:
  int fd_;
  bool writable_;
};

class PosixEnv final : public Env {
 public:
  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<EnvFile>* file) override {
    const bool rw = options.access == OpenAccess::kReadWrite;
    int flags = O_CLOEXEC | (rw ? O_RDWR : O_RDONLY);
    if (options.create) flags |= O_CREAT;
    if (options.create && options.createNew) flags |= O_EXCL | O_NOFOLLOW;
    const int fd = ::open(path.c_str(), flags, options.createNew ? 0600 : 0666);
    if (fd < 0) return errno;
    const bool exclusive = options.share == ShareMode::kExclusive;
    const short type = exclusive && rw ? F_WRLCK : F_RDLCK;
    int err = SetOfdLock(fd, type, kShareModeLockOffset, 1);
    if (err == EAGAIN) err = EBUSY;  // a sharing violation
    // A new file is emptied only once the sharing lock shows that nobody
    // else has it open.
    if (err == 0 && options.create && options.truncate && !options.createNew &&
        ::ftruncate(fd, 0) != 0) err = errno;
    if (err != 0) {
      ::close(fd);
      return err;
    }
    *file = std::make_unique<PosixFile>(fd, rw);
    return 0;
  }

  int Delete(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
  }
  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  int Attributes(const std::string& path, FileAttributes* attr) override {
    *attr = FileAttributes{};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    attr->exists = true;
    attr->isDirectory = S_ISDIR(st.st_mode);
    attr->readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    attr->size = static_cast<std::uint64_t>(st.st_size);
    return 0;
  }
  int ListDirectory(const std::string& dir,
                    std::vector<std::string>* names) override {
    names->clear();
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) return errno;
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    ::closedir(d);
    return 0;
  }
  int MakeDirectory(const std::string& dir) override {
    return ::mkdir(dir.c_str(), 0777) == 0 ? 0 : errno;
  }
  int SyncDirectory(const std::string& dir) override {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err;
  }
  int MakePrivateDirectory(const std::string& parent, std::string* made) override {
    std::string name = parent;
    if (!name.empty() && name.back() != '/') name += '/';
    name += "kura-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) return errno;  // mode 0700
    *made = name;
    return 0;
  }
  int RemoveDirectory(const std::string& dir) override {
    return ::rmdir(dir.c_str()) == 0 ? 0 : errno;
  }
  int SetReadOnly(const std::string& path, bool readOnly) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    const mode_t write = S_IWUSR | S_IWGRP | S_IWOTH;
    const mode_t mode = readOnly ? (st.st_mode & ~write) : (st.st_mode | S_IWUSR);
    return ::chmod(path.c_str(), mode & 07777) == 0 ? 0 : errno;
  }
  std::string CurrentDirectory() override {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : ".";
  }
  std::int64_t ThreadId() override { return static_cast<std::int64_t>(::gettid()); }
  std::int64_t NowMillis() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
        .count();
  }
  double LocalDateTime() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const double seconds = static_cast<double>(now) + local.tm_gmtoff;
    return 25569.0 + seconds / 86400.0;  // 1970-01-01 is day 25569
  }
  void SleepMillis(int ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  std::uint32_t Random16() override {
    // Reseeded in a forked child, so that two processes never draw the
    // same sequence of read slots: a fork handler counts the forks, which
    // costs nothing per draw (a system call per lock did).
    static const bool registered = [] {
      ::pthread_atfork(nullptr, nullptr, [] { forks.fetch_add(1, std::memory_order_relaxed); });
      return true;
    }();
    (void)registered;
    thread_local std::mt19937 gen{std::random_device{}()};
    thread_local unsigned seededAfter = forks.load(std::memory_order_relaxed);
    const unsigned now = forks.load(std::memory_order_relaxed);
    if (seededAfter != now) {
      seededAfter = now;
      gen.seed(std::random_device{}());
    }
    return gen() & 0xFFFFu;
  }
  static inline std::atomic<unsigned> forks{0};
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace kura
