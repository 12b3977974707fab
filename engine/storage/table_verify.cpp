#include "engine/storage/table_verify.h"

#include <algorithm>
#include <memory>
#include <set>
#include <unordered_set>

#include "engine/errors/kura_error.h"
#include "engine/storage/blob_block.h"
#include "engine/storage/coding.h"
#include "engine/storage/record_file_checks.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

class Verifier {
 public:
  explicit Verifier(TDataTable& t) : t_(t), data_(t.Data()) {}

  std::vector<std::string> Run() {
    CheckSlots();
    CheckFreeChain();
    if (t_.Blob() != nullptr) CheckBlobs();
    // Every index tree's structure and free chain, and agreement of every
    // index and "Sys Deleted" with the data file.
    for (std::string& p : t_.Index().Trees().Check(&data_)) Report(std::move(p));
    return std::move(problems_);
  }

 private:
  void Report(std::string text) { problems_.push_back(std::move(text)); }

  void CheckSlots() {
    std::unordered_set<std::int32_t> rowIds;
    const std::int32_t last = data_.Header().lastRowId;
    for (std::int32_t n = 1; n <= data_.RecordCount(); ++n) {
      const std::uint8_t* rec = data_.GetRecord(n)->Data();
      const std::uint8_t status = RecordStatus(rec);
      if (status == kRecordDeleted) continue;
      if (status != kRecordActive) {
        Report("record " + std::to_string(n) + " has status byte " + std::to_string(status));
        continue;
      }
      activeRecords_.push_back(n);
      const std::int32_t id = RecordRowId(rec);
      if (id <= 0 || id > last)
        Report("record " + std::to_string(n) + " has row id " + std::to_string(id) +
               " outside 1 ... last row id " + std::to_string(last));
      else if (!rowIds.insert(id).second)
        Report("record " + std::to_string(n) + " repeats row id " + std::to_string(id));
    }
  }

  void CheckFreeChain() {
    std::set<std::int32_t> seen;
    for (std::int32_t n = data_.Header().firstFreeRecord; n != 0;) {
      if (n < 0 || n > data_.RecordCount()) {
        Report("free record chain leads to record " + std::to_string(n) + " outside the file");
        return;
      }
      if (!seen.insert(n).second) {
        Report("free record chain loops at record " + std::to_string(n));
        return;
      }
      const std::uint8_t* rec = data_.GetRecord(n)->Data();
      if (RecordStatus(rec) != kRecordDeleted) {
        Report("free record chain holds record " + std::to_string(n) + ", which is not deleted");
        return;
      }
      n = RecordLink(rec);
    }
  }

  // Reads block n raw; false (reported) when it lies outside the file.
  bool ReadBlock(std::int32_t n, std::vector<std::uint8_t>& block, const std::string& what) {
    TBlobFile& blob = *t_.Blob();
    if (n < 1 || n >= blob.Header().nextBlockNumber) {
      Report(what + " leads to block " + std::to_string(n) + " outside the BLOB file");
      return false;
    }
    block.resize(blob.BlockSize());
    const std::uint64_t at = kBlobHeaderSize + static_cast<std::uint64_t>(n - 1) * blob.BlockSize();
    if (blob.Handler().Read(at, block.data(), block.size()) != block.size()) {
      Report(what + " leads to block " + std::to_string(n) + " beyond the end of the BLOB file");
      return false;
    }
    return true;
  }

  // Marks block n as used by `what`; false (reported) when already used.
  bool Claim(std::int32_t n, const std::string& what) {
    if (claimed_.insert(n).second) return true;
    Report(what + " reaches block " + std::to_string(n) + ", which is used twice");
    return false;
  }

  void CheckValue(std::int32_t recNo, const TFieldDescriptor& f, BlobRef ref) {
    const std::string what = "BLOB " + f.name + " of record " + std::to_string(recNo);
    std::vector<std::uint8_t> block;
    std::int64_t total = -1, taken = 0;
    std::int32_t prev = 0;
    for (std::int32_t n = ref.firstBlock; n != 0;) {
      if (!ReadBlock(n, block, what) || !Claim(n, what)) return;
      if (GetInt32LE(&block[kBlockSerial]) != ref.serial) {
        Report(what + ": block " + std::to_string(n) + " has serial " +
               std::to_string(GetInt32LE(&block[kBlockSerial])) + ", the record " +
               std::to_string(ref.serial));
        return;
      }
      if (GetInt32LE(&block[kBlockPrev]) != prev)
        Report(what + ": block " + std::to_string(n) + " links back to " +
               std::to_string(GetInt32LE(&block[kBlockPrev])) + " instead of " + std::to_string(prev));
      if (total < 0) total = GetInt32LE(&block[kBlockTotal]);
      const std::uint16_t used = GetFixed16LE(&block[kBlockUsed]);
      if (used > t_.Blob()->DataPerBlock()) {
        Report(what + ": block " + std::to_string(n) + " claims " + std::to_string(used) + " bytes");
        return;
      }
      taken += used;
      prev = n;
      n = GetInt32LE(&block[kBlockNext]);
    }
    if (taken != total)
      Report(what + " holds " + std::to_string(taken) + " bytes, its length is " +
             std::to_string(total));
  }

  void CheckBlobs() {
    for (std::int32_t n : activeRecords_) {
      const std::uint8_t* rec = data_.GetRecord(n)->Data();
      for (const TFieldDescriptor& f : data_.Fields()) {
        if (f.type != kFieldBlob) continue;
        const BlobRef ref = GetBlobRef(rec, f);
        if (ref.firstBlock != 0) CheckValue(n, f, ref);
      }
    }
    std::vector<std::uint8_t> block;
    for (std::int32_t n = t_.Blob()->Header().firstFreeBlock; n != 0;) {
      if (!ReadBlock(n, block, "free block chain") || !Claim(n, "free block chain")) return;
      n = GetInt32LE(&block[kBlockNext]);
    }
  }

  TDataTable& t_;
  TDataFile& data_;
  std::vector<std::int32_t> activeRecords_;
  std::set<std::int32_t> claimed_;
  std::vector<std::string> problems_;
};

}  // namespace

namespace {

// The data file's header as stored and the file's length; false when the
// header cannot be read.
bool ReadDataHeader(Env& env, const std::string& path, TDataFileHeader* h,
                    std::uint64_t* length) {
  std::unique_ptr<EnvFile> file;
  if (env.Open(path, {.access = OpenAccess::kReadOnly}, &file) != 0) return false;
  std::uint8_t raw[kDataHeaderSize];
  std::size_t done = 0;
  if (file->Read(0, raw, sizeof raw, &done) != 0 || done != sizeof raw) return false;
  if (file->Length(length) != 0) return false;
  *h = DecodeDataHeader(raw);
  return true;
}

// A finding for a table that does not open: a partial record at the end of
// the data file is named as such; other failures by the engine's message.
std::string OpenFailure(TDataDirectory& directory, const std::string& table,
                        const EKuraEngineError& e) {
  if (e.ErrorCode() != KURA_HEADERCORRUPT) return e.what();
  Env& env = directory.Session().GetEnv();
  TDataFileHeader h;
  std::uint64_t length = 0;
  const std::string path = ResolvePath(env, directory.Path() + TableFileName(table, kDataExtension));
  if (!ReadDataHeader(env, path, &h, &length)) return e.what();
  const std::string text = DescribeDataLength(h, length);
  return text.empty() ? e.what() : text;
}

}  // namespace

TableVerification VerifyTable(TDataDirectory& directory, const std::string& table) {
  TableVerification result;
  TDataTable* t = nullptr;
  try {
    // Verifying changes nothing: a table whose index file is missing is
    // reported, not given a new, empty one.
    const std::string index = directory.Path() + TableFileName(table, kIndexExtension);
    if (TFileHandler::Exists(directory.Session().Files(), index, false)) {
      t = directory.OpenTable(table, {.readOnly = true});
    } else if (TFileHandler::Exists(directory.Session().Files(),
                                    directory.Path() + TableFileName(table, kDataExtension), false)) {
      result.problems.push_back("the index file " + TableFileName(table, kIndexExtension) +
                                " is missing");
      return result;
    } else {
      t = directory.OpenTable(table, {.readOnly = true});  // reports the missing table
    }
  } catch (const EKuraEngineError& e) {
    result.problems.push_back(OpenFailure(directory, table, e));
    return result;
  }
  try {
    t->ReadLock();
    result.problems = Verifier(*t).Run();
    t->ReleaseReadLock();
  } catch (const EKuraEngineError& e) {
    t->ReleaseReadLock();
    result.problems.push_back(e.what());
  }
  directory.CloseTable(t);
  return result;
}

std::vector<std::string> ListTables(Env& env, const std::string& directory) {
  std::vector<std::string> names, tables;
  if (env.ListDirectory(directory, &names) != 0) return tables;
  for (const std::string& name : names) {
    if (name.size() <= kDataExtension.size()) continue;
    const std::string_view ext = std::string_view(name).substr(name.size() - kDataExtension.size());
    if (EqualNoCase(ext, kDataExtension))
      tables.push_back(name.substr(0, name.size() - kDataExtension.size()));
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

}  // namespace kura
