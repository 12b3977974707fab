// Exercises a table made of given data, index and BLOB files the way a
// hostile file would be met: verify, open, scan in record order and in
// every index order, read every field and every BLOB value. Shared by the
// table fuzz target and the regression test of its findings.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/errors/kura_error.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/table_verify.h"
#include "reliability/fuzz/table_bundle.h"

namespace kura::fuzz {
namespace detail {

inline void Put(Env& env, const std::string& path, const std::string& bytes) {
  std::unique_ptr<EnvFile> f;
  OpenOptions o;
  o.create = true;
  if (env.Open(path, o, &f) != 0) return;
  std::size_t done = 0;
  f->Write(0, bytes.data(), bytes.size(), &done);
}

// Reads every field of the current record, BLOB values included.
inline void ReadRecord(TDataCursor& c) {
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

// Walks the whole active order forwards and a little backwards; false when
// the walk goes on past `limit` steps (it would never end).
inline bool Walk(TDataCursor& c, std::uint64_t limit) {
  std::uint64_t steps = 0;
  for (c.First(); c.Next();) {
    if (++steps > limit) return false;
    ReadRecord(c);
  }
  steps = 0;
  for (c.Last(); c.Prior() && steps < 16; ++steps) ReadRecord(c);
  c.RecordCount();
  return true;
}

}  // namespace detail

// True when every walk ended. Engine errors are the expected answers to
// damage and are taken; any other exception passes through.
inline bool ExerciseTable(const TableFiles& files) {
  using namespace detail;
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
    return true;
  }
  // No order holds more entries than the slots of the data file or what
  // the pages of the index file can carry; a walk longer than that loops.
  const std::uint64_t pages = static_cast<std::uint64_t>(std::max(0, c.Table().Index().Header().nextPageNumber));
  const std::uint64_t limit =
      2 * static_cast<std::uint64_t>(c.Table().Data().RecordCount()) + pages * (kIndexPageSize / 4) + 16;
  bool ended = true;
  try {
    ended = Walk(c, limit);
  } catch (const EKuraEngineError&) {
  }
  const TIndexFileHeader& h = c.Table().Index().Header();
  for (int i = h.noPrimaryFields ? 1 : 0; i <= h.secondaryCount && ended; ++i) {
    try {
      c.SetOrder(i);
      ended = Walk(c, limit);
    } catch (const EKuraEngineError&) {
    }
  }
  return ended;
}

}  // namespace kura::fuzz
