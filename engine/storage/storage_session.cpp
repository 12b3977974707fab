#include "engine/storage/storage_session.h"

#include <cstdlib>

#include "engine/errors/kura_error.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

bool IsDirectory(Env& env, const std::string& path) {
  FileAttributes attr;
  return !path.empty() && env.Attributes(path, &attr) == 0 && attr.isDirectory;
}

std::string BaseDirectory(Env& env, const std::string& setting) {
  if (!setting.empty()) return setting;
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && IsDirectory(env, tmp)) return tmp;
  if (IsDirectory(env, "/tmp")) return "/tmp";
  return env.CurrentDirectory();
}

}  // namespace

TDataSession::~TDataSession() {
  if (!workDirectory_.empty()) GetEnv().RemoveDirectory(workDirectory_);
}

std::string TDataSession::WorkDirectory() {
  std::string base = ToOsPath(BaseDirectory(GetEnv(), settings.privateDirectory));
  while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  if (!workDirectory_.empty() && base == workBase_) return workDirectory_;
  if (!workDirectory_.empty()) GetEnv().RemoveDirectory(workDirectory_);
  workDirectory_.clear();
  std::string made;
  const int err = GetEnv().MakePrivateDirectory(base, &made);
  if (err != 0) RaiseWithOsError(KURA_OSEACCES, err, {.table = base});
  workBase_ = base;
  workDirectory_ = made + "/";
  return workDirectory_;
}

}  // namespace kura
