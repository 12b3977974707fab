// libFuzzer target: a table made of fuzzed data, index and BLOB files (see
// table_bundle.h) is verified, opened, scanned in record order and in every
// index order, every field of every record read and every BLOB value read.
// Only engine errors may come out; a crash, another exception, a sanitizer
// report, a walk that does not end or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/errors/kura_error.h"
#include "engine/storage/data_cursor.h"
#include "engine/storage/data_directory.h"
#include "engine/storage/field_values.h"
#include "engine/storage/table_verify.h"
#include "reliability/fuzz/table_bundle.h"

namespace {

using namespace kura;

void Put(Env& env, const std::string& path, const std::string& bytes) {
  std::unique_ptr<EnvFile> f;
  OpenOptions o;
  o.create = true;
  if (env.Open(path, o, &f) != 0) __builtin_trap();
  std::size_t done = 0;
  f->Write(0, bytes.data(), bytes.size(), &done);
}

// Reads every field of the current record, BLOB values included.
void ReadRecord(TDataCursor& c) {
  if (c.ReadCurrent() != 0) return;
  const std::uint8_t* image = c.Image();
  const auto& fields = c.Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    try {
      if (fields[i].type == kFieldBlob) {
        const BlobRef ref = GetBlobRef(image, fields[i]);
        if (ref.firstBlock != 0 && c.Table().Blob() != nullptr) c.Table().Blob()->ReadValue(ref);
      } else {
        c.GetField(image, static_cast<int>(i) + 1);
      }
    } catch (const EKuraEngineError&) {
    }
  }
}

// Walks the whole active order forwards and a little backwards; a walk
// longer than the slots of the file never ends.
void Walk(TDataCursor& c, std::uint64_t limit) {
  std::uint64_t steps = 0;
  for (c.First(); c.Next();) {
    if (++steps > limit) __builtin_trap();
    ReadRecord(c);
  }
  steps = 0;
  for (c.Last(); c.Prior() && steps < 16; ++steps) ReadRecord(c);
  c.RecordCount();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TableFiles files = fuzz::SplitBundle(data, size);
  std::unique_ptr<Env> env = NewMemEnv();
  env->MakeDirectory("/db");
  Put(*env, "/db/t.DAT", files.data);
  Put(*env, "/db/t.IDX", files.index);
  if (!files.blob.empty()) Put(*env, "/db/t.BLB", files.blob);

  TFileList list(env.get());
  TDataSession session(list);
  session.settings.tableLockAttempts = 1;
  session.settings.lockRetryCount = 0;
  TDataDirectory dir(session, "/db");
  VerifyTable(dir, "t");
  TDataCursor c(session, dir);
  try {
    c.Open("t", {.readOnly = true, .recordOrder = true});
  } catch (const EKuraEngineError&) {
    return 0;
  }
  const std::uint64_t limit = 2 * static_cast<std::uint64_t>(c.Table().Data().RecordCount()) + 16;
  try {
    Walk(c, limit);
  } catch (const EKuraEngineError&) {
  }
  const TIndexFileHeader& h = c.Table().Index().Header();
  for (int i = h.noPrimaryFields ? 1 : 0; i <= h.secondaryCount; ++i) {
    try {
      c.SetOrder(i);
      Walk(c, limit);
    } catch (const EKuraEngineError&) {
    }
  }
  return 0;
}
