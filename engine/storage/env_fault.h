// FaultEnv: an Env that passes every call to another Env, counts the calls
// that reach the operating system, and can be told to make chosen calls
// fail. Used by tests (failed and short transfers, failed flushes, lock
// conflicts, failed unlocks) and by benchmarks (system calls per operation).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/storage/env.h"

namespace kura {

// The kinds of file calls a fault can be aimed at. kExtend is a write that
// makes its file longer: a full disk fails those and lets writes over
// bytes already there pass (these writes are counted as kWrite too, and as
// kExtend only while a fault of that kind is set).
enum class FaultCall { kRead, kWrite, kTruncate, kSync, kLock, kUnlock, kExtend };

class FaultEnv final : public Env {
 public:
  // `base` must outlive this object.
  explicit FaultEnv(Env* base);
  ~FaultEnv() override;

  // One-shot faults: each fires on the next matching call of a file opened
  // through this Env, then disarms. `err` 0 with `keep` makes the transfer
  // short: only `keep` bytes are transferred and success is returned.
  void FailNextRead(int err, std::size_t keep = 0);
  void FailNextWrite(int err, std::size_t keep = 0);
  void FailNextSync(int err);
  void FailNextOpen(int err);
  // Counted fault: the `n`-th read or write from now (1: the next one) of a
  // file opened through this Env fails with `err`, transferring nothing;
  // the calls before it pass. Replaces an earlier counted fault; n 0
  // disarms. CountedFaultFired tells whether it has fired since it was set.
  void FailNthTransfer(std::uint64_t n, int err);
  bool CountedFaultFired() const;
  // While set, every lock request that covers `offset` fails with EAGAIN,
  // as if another process held that byte.
  void SetLockConflict(std::uint64_t offset);
  void ClearLockConflict();
  // Counted faults: the n-th call of `kind` from now on (1 = the next one)
  // fails with errno value `err`. With `sticky` that call and every later
  // call of the kind fail, as on a disk that has died or stays full;
  // otherwise only that one. Replaces an earlier counted fault of the kind.
  void FailCall(FaultCall kind, std::uint64_t n, int err, bool sticky = false);
  void ClearCallFaults();
  // Calls of `kind` made so far (counted faults count the failed ones too).
  std::uint64_t Calls(FaultCall kind) const;

  // Power cut: the n-th write, truncate or sync call from now on (1 = the
  // next one) of a file opened through this Env does not happen; instead
  // the base Env's files are left as a power cut at that moment would
  // leave them, and every later file call through this Env fails with EIO
  // (the process is gone). What was written since a file's last Sync is,
  // per file chosen by `seed`, lost, kept, or kept per 512-byte sector in
  // any mix (the file's length the old or the new one); a file created
  // since the last SyncDirectory of its directory may vanish. n 0 disarms.
  void ArmPowerCut(std::uint64_t n, std::uint32_t seed);
  bool PowerCutHappened() const;

  // Calls that reached the base Env's files (read, write, truncate, sync,
  // length, lock, unlock) and opens.
  std::uint64_t SystemCalls() const;
  std::uint64_t LockCalls() const;
  std::uint64_t WriteCalls() const;
  std::uint64_t ReadCalls() const;
  // SleepMillis calls (lock retries); they still sleep.
  std::uint64_t SleepCalls() const;
  // Every path opened or created through this Env so far, in order.
  std::vector<std::string> OpenedPaths() const;
  void ResetCounters();

  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<EnvFile>* file) override;
  int Delete(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Attributes(const std::string& path, FileAttributes* attr) override;
  int ListDirectory(const std::string& dir,
                    std::vector<std::string>* names) override;
  int MakeDirectory(const std::string& dir) override;
  int SyncDirectory(const std::string& dir) override;
  int MakePrivateDirectory(const std::string& parent, std::string* made) override;
  int RemoveDirectory(const std::string& dir) override;
  int SetReadOnly(const std::string& path, bool readOnly) override;
  std::string CurrentDirectory() override;
  std::int64_t ThreadId() override;
  std::int64_t NowMillis() override;
  double LocalDateTime() override;
  void SleepMillis(int ms) override;
  std::uint32_t Random16() override;

  struct State;

 private:
  Env* base_;
  std::shared_ptr<State> state_;
};

}  // namespace kura
