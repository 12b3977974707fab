#include "engine/storage/table_repair.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>

#include "engine/errors/kura_error.h"
#include "engine/storage/blob_block.h"
#include "engine/storage/blob_file.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/coding.h"
#include "engine/storage/record_file_checks.h"
#include "engine/storage/record_file_format.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/file_handler.h"
#include "engine/storage/index_header.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

class Repairer {
 public:
  Repairer(TDataSession& session, std::string directory, std::string table)
      : session_(session), dir_(std::move(directory)), table_(std::move(table)) {
    if (!dir_.empty() && dir_.back() != '/' && dir_.back() != '\\') dir_ += '/';
  }

  TableRepair Run();

 private:
  std::string Path(std::string_view ext) const { return dir_ + TableFileName(table_, ext); }
  std::unique_ptr<TFileHandler> OpenExclusive(std::string_view ext);
  void Backup(TFileHandler& file, std::string_view ext);
  void Act(std::string text) { result_.actions.push_back(std::move(text)); }

  void RepairData();
  void RepairBlobs();
  // The blocks of the value `ref` when its chain is whole: every block in
  // the file (`blocks` of them), not used by another value (`used`),
  // carrying the value's serial and the right back link, with as many
  // bytes as the value's length. Empty when it is not.
  std::vector<std::int32_t> SoundChain(BlobRef ref, std::int32_t blocks,
                                       const std::set<std::int32_t>& used);
  // A slot whose status byte is neither active nor deleted: readers skip
  // it already, so it is marked deleted (and joins the free chain); its
  // bytes stay in the data file's backup.
  void DropDamagedSlot(std::int32_t n, std::uint64_t start);
  // Writes record r's slot back to the data file.
  void WriteSlot(std::int32_t r);
  void RepairIndex();
  // Fills the emptied indexes and "Sys Deleted" from the records.
  void RebuildIndexes();
  const std::uint8_t* Slot(std::int32_t n) const {
    return records_.data() + static_cast<std::size_t>(n - 1) * header_.recordLength;
  }
  std::uint8_t* MutableSlot(std::int32_t n) {
    return records_.data() + static_cast<std::size_t>(n - 1) * header_.recordLength;
  }

  TDataSession& session_;
  std::string dir_;
  std::string table_;
  TableRepair result_;
  std::unique_ptr<TFileHandler> data_, index_, blob_;
  TDataFileHeader header_;
  std::vector<TFieldDescriptor> fields_;
  std::vector<std::uint8_t> records_;
  std::int32_t recordCount_ = 0;
  std::int32_t active_ = 0;
};

std::unique_ptr<TFileHandler> Repairer::OpenExclusive(std::string_view ext) {
  auto file = std::make_unique<TFileHandler>(session_.Files(), Path(ext), table_,
                                             FileOpenMode{.exclusive = true});
  try {
    file->Open();
  } catch (const EKuraEngineError& e) {
    // Only a sharing violation means another user has the file; refused
    // permissions keep their own error.
    if (e.ErrorCode() == KURA_OSEACCES && e.OSErrorCode() == EBUSY) {
      Raise(KURA_TABLEOPEN, {.table = table_});
    }
    throw;
  }
  return file;
}

void Repairer::Backup(TFileHandler& file, std::string_view ext) {
  TFileHandler copy(session_.Files(), Path(ext), table_, FileOpenMode{.exclusive = true});
  copy.Create();
  try {
    std::vector<std::uint8_t> buffer(1 << 16);
    const std::uint64_t length = file.Length();
    for (std::uint64_t at = 0; at < length;) {
      const std::size_t n = file.Read(at, buffer.data(), buffer.size());
      if (n == 0) break;
      copy.Write(at, buffer.data(), n);
      at += n;
    }
    copy.Flush();
  } catch (...) {
    // A backup that could not be made whole is no backup: it is removed.
    copy.Close();
    try {
      TFileHandler::Delete(session_.Files(), Path(ext), false, table_);
    } catch (const EKuraEngineError&) {
    }
    throw;
  }
  copy.Close();
}

TableRepair Repairer::Run() {
  data_ = OpenExclusive(kDataExtension);
  if (TFileHandler::Exists(session_.Files(), Path(kIndexExtension), false))
    index_ = OpenExclusive(kIndexExtension);
  if (TFileHandler::Exists(session_.Files(), Path(kBlobExtension), false))
    blob_ = OpenExclusive(kBlobExtension);
  Backup(*data_, kDataBackupExtension);
  if (index_) Backup(*index_, kIndexBackupExtension);
  if (blob_) Backup(*blob_, kBlobBackupExtension);
  RepairData();
  if (blob_) RepairBlobs();
  RepairIndex();
  for (auto* f : {data_.get(), index_.get(), blob_.get()}) {
    if (f) {
      f->Flush();
      f->Close();
    }
  }
  RebuildIndexes();
  return std::move(result_);
}

void Repairer::RepairData() {
  std::uint8_t raw[kDataHeaderSize];
  data_->ReadExact(0, raw, sizeof raw);
  header_ = DecodeDataHeader(raw);
  if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  const std::uint32_t blockSize = header_.EffectiveBlobBlockSize();
  if (header_.fieldCount == 0 || header_.fieldCount > kMaxFields ||
      (header_.blobFieldCount > 0 &&
       (blockSize < kMinBlobBlockSize || blockSize > kMaxBlobBlockSize)))
    Raise(KURA_HEADERCORRUPT, {.table = table_});
  std::vector<std::uint8_t> desc(static_cast<std::size_t>(header_.fieldCount) * kFieldDescriptorSize);
  data_->ReadExact(kDataHeaderSize, desc.data(), desc.size());
  for (std::size_t i = 0; i < header_.fieldCount; ++i)
    fields_.push_back(DecodeFieldDescriptor(&desc[i * kFieldDescriptorSize]));
  std::vector<TFieldDescriptor> laidOut = fields_;
  if (LayOutFields(laidOut.data(), laidOut.size()) != header_.recordLength)
    Raise(KURA_HEADERCORRUPT, {.table = table_});

  const std::uint64_t start = kDataHeaderSize + desc.size();
  std::uint64_t length = data_->Length();
  if (length < start) Raise(KURA_HEADERCORRUPT, {.table = table_});
  const std::uint64_t excess = (length - start) % header_.recordLength;
  if (excess != 0) {
    length -= excess;
    data_->Truncate(length);
    Act("data file: cut " + std::to_string(excess) + " bytes of an incomplete record");
  }
  recordCount_ = static_cast<std::int32_t>((length - start) / header_.recordLength);
  records_.resize(length - start);
  if (!records_.empty()) data_->ReadExact(start, records_.data(), records_.size());

  TDataFileHeader h = header_;
  h.nextRecordNumber = recordCount_ + 1;
  std::int32_t maxRowId = 0, maxSerial = 0;
  std::vector<std::int32_t> deleted;
  bool badStatus = false;
  for (std::int32_t n = 1; n <= recordCount_; ++n) {
    const std::uint8_t* rec = Slot(n);
    maxRowId = std::max(maxRowId, RecordRowId(rec));
    if (RecordStatus(rec) != kRecordActive && RecordStatus(rec) != kRecordDeleted) {
      DropDamagedSlot(n, start);
      badStatus = true;
    }
    if (RecordStatus(rec) != kRecordActive) {
      deleted.push_back(n);
      continue;
    }
    ++active_;
    for (const TFieldDescriptor& f : fields_)
      if (f.type == kFieldBlob) maxSerial = std::max(maxSerial, GetBlobRef(rec, f).serial);
  }
  h.lastRowId = std::max(h.lastRowId, maxRowId);
  h.lastBlobSerial = std::max(h.lastBlobSerial, maxSerial);
  // The free chain: kept when it leads through deleted slots only and ends.
  std::set<std::int32_t> seen;
  bool chainOk = !badStatus;
  for (std::int32_t n = h.firstFreeRecord; n != 0 && chainOk;) {
    chainOk = n > 0 && n <= recordCount_ && seen.insert(n).second &&
              RecordStatus(Slot(n)) == kRecordDeleted;
    if (chainOk) n = RecordLink(Slot(n));
  }
  if (!chainOk) {
    // Rebuilt in ascending record order; a table without primary-key fields
    // never follows the links, so they may stay as they are.
    h.firstFreeRecord = deleted.empty() ? 0 : deleted.front();
    for (std::size_t i = 0; i < deleted.size(); ++i) {
      std::uint8_t link[4];
      PutInt32LE(link, i + 1 < deleted.size() ? deleted[i + 1] : 0);
      data_->Write(start + static_cast<std::uint64_t>(deleted[i] - 1) * h.recordLength + 1, link, 4);
    }
    Act("data file: free record chain rebuilt from " + std::to_string(deleted.size()) +
        " deleted records");
  }
  if (h.nextRecordNumber != header_.nextRecordNumber || h.lastRowId != header_.lastRowId ||
      h.lastBlobSerial != header_.lastBlobSerial || !chainOk) {
    Act("data file: next record number " + std::to_string(header_.nextRecordNumber) + " -> " +
        std::to_string(h.nextRecordNumber) + ", last row id " + std::to_string(header_.lastRowId) +
        " -> " + std::to_string(h.lastRowId));
  }
  h.changeCounter = header_.changeCounter + 1;
  EncodeDataHeader(h, raw);
  data_->Write(0, raw, sizeof raw);
  header_ = h;
}

void Repairer::DropDamagedSlot(std::int32_t n, std::uint64_t start) {
  std::uint8_t* rec = MutableSlot(n);
  const unsigned status = RecordStatus(rec);
  rec[0] = kRecordDeleted;
  data_->Write(start + static_cast<std::uint64_t>(n - 1) * header_.recordLength, rec, 1);
  Act("data file: record " + std::to_string(n) + " had status byte " + std::to_string(status) +
      ", dropped (marked deleted; its bytes stay in the " + std::string(kDataBackupExtension) +
      " backup)");
}

void Repairer::RepairBlobs() {
  const std::uint32_t blockSize = header_.EffectiveBlobBlockSize();
  std::uint8_t raw[kBlobHeaderSize];
  blob_->ReadExact(0, raw, sizeof raw);
  TBlobFileHeader h = DecodeBlobHeader(raw);
  if (h.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  std::uint64_t length = std::max<std::uint64_t>(blob_->Length(), kBlobHeaderSize);
  const std::uint64_t excess = (length - kBlobHeaderSize) % blockSize;
  if (excess != 0) {
    length -= excess;
    blob_->Truncate(length);
    Act("BLOB file: cut " + std::to_string(excess) + " bytes of an incomplete block");
  }
  const auto blocks = static_cast<std::int32_t>((length - kBlobHeaderSize) / blockSize);
  // The blocks the values of active records use. A value whose chain is
  // not whole (its change was cut short before all its blocks were
  // written) cannot be read back: the record keeps its other fields and
  // that value becomes null.
  std::set<std::int32_t> used;
  for (std::int32_t r = 1; r <= recordCount_; ++r) {
    if (RecordStatus(Slot(r)) != kRecordActive) continue;
    for (const TFieldDescriptor& f : fields_) {
      if (f.type != kFieldBlob) continue;
      const BlobRef ref = GetBlobRef(Slot(r), f);
      if (ref.firstBlock == 0) continue;
      const std::vector<std::int32_t> chain = SoundChain(ref, blocks, used);
      if (chain.empty()) {
        SetBlobRef(MutableSlot(r), f, BlobRef{});
        WriteSlot(r);
        Act("record " + std::to_string(r) + ": BLOB " + f.name +
            " was not written completely and is now empty");
        continue;
      }
      used.insert(chain.begin(), chain.end());
    }
  }
  // Every other block goes on the free chain, in ascending order.
  std::vector<std::int32_t> free;
  for (std::int32_t n = 1; n <= blocks; ++n)
    if (!used.count(n)) free.push_back(n);
  for (std::size_t i = 0; i < free.size(); ++i) {
    std::uint8_t link[4];
    PutInt32LE(link, i + 1 < free.size() ? free[i + 1] : 0);
    blob_->Write(kBlobHeaderSize + static_cast<std::uint64_t>(free[i] - 1) * blockSize + kBlockNext,
                 link, 4);
  }
  if (h.nextBlockNumber != blocks + 1)
    Act("BLOB file: next block number " + std::to_string(h.nextBlockNumber) + " -> " +
        std::to_string(blocks + 1));
  Act("BLOB file: free block chain rebuilt with " + std::to_string(free.size()) + " blocks");
  h.nextBlockNumber = blocks + 1;
  h.firstFreeBlock = free.empty() ? 0 : free.front();
  h.changeCounter += 1;
  EncodeBlobHeader(h, raw);
  blob_->Write(0, raw, sizeof raw);
}

std::vector<std::int32_t> Repairer::SoundChain(BlobRef ref, std::int32_t blocks,
                                               const std::set<std::int32_t>& used) {
  const std::uint32_t blockSize = header_.EffectiveBlobBlockSize();
  std::vector<std::uint8_t> block(blockSize);
  std::vector<std::int32_t> chain;
  std::set<std::int32_t> seen;
  std::int64_t total = -1, taken = 0;
  for (std::int32_t n = ref.firstBlock, prev = 0; n != 0; prev = n, n = GetInt32LE(&block[kBlockNext])) {
    if (n < 1 || n > blocks || used.count(n) || !seen.insert(n).second) return {};
    blob_->ReadExact(kBlobHeaderSize + static_cast<std::uint64_t>(n - 1) * blockSize, block.data(),
                     blockSize);
    const std::uint16_t bytes = GetFixed16LE(&block[kBlockUsed]);
    if (GetInt32LE(&block[kBlockSerial]) != ref.serial || GetInt32LE(&block[kBlockPrev]) != prev ||
        bytes > blockSize - kBlobBlockHeaderSize) {
      return {};
    }
    if (total < 0) total = GetInt32LE(&block[kBlockTotal]);
    taken += bytes;
    chain.push_back(n);
  }
  if (taken != total) return {};
  return chain;
}

void Repairer::WriteSlot(std::int32_t r) {
  const std::uint64_t start = kDataHeaderSize + static_cast<std::uint64_t>(fields_.size()) * kFieldDescriptorSize;
  data_->Write(start + static_cast<std::uint64_t>(r - 1) * header_.recordLength, Slot(r),
               header_.recordLength);
}

void Repairer::RepairIndex() {
  TIndexFileHeader h = NewIndexHeader();
  bool kept = false;
  if (index_ && index_->Length() >= kIndexHeaderSize) {
    std::vector<std::uint8_t> raw(kIndexHeaderSize);
    index_->ReadExact(0, raw.data(), raw.size());
    const TIndexFileHeader old = DecodeIndexHeader(raw.data());
    try {
      VerifyIndexHeader(old, fields_, table_);
      h = old;
      kept = true;
    } catch (const EKuraEngineError&) {
      // Definitions that do not fit the fields cannot be kept.
    }
  }
  if (!kept) {
    h.noPrimaryFields = 1;
    Act("index file: header unreadable, index definitions dropped (the table has no primary key now)");
  }
  if (!index_) {
    index_ = std::make_unique<TFileHandler>(session_.Files(), Path(kIndexExtension), table_,
                                            FileOpenMode{.exclusive = true});
    index_->Create();
  }
  h.nextPageNumber = 1;
  for (TIndexDescriptor& d : h.slots) {
    d.rootPage = 0;
    d.firstFreePage = 0;
    d.textParameterPage = 0;
  }
  if (h.activeRecordCount != active_)
    Act("index file: active record count " + std::to_string(h.activeRecordCount) + " -> " +
        std::to_string(active_));
  h.activeRecordCount = active_;
  h.changeCounter += 1;
  std::vector<std::uint8_t> raw(kIndexHeaderSize);
  EncodeIndexHeader(h, raw.data());
  index_->Truncate(kIndexHeaderSize);
  index_->Write(0, raw.data(), raw.size());
  Act("index file: " + std::to_string(h.secondaryCount) + " secondary index definitions kept, " +
      "every index emptied");
}

void Repairer::RebuildIndexes() {
  TDataDirectory directory(session_, dir_);
  TDataTable* t = directory.OpenTable(table_, {.exclusive = true});
  try {
    TIndexFile& index = t->Index();
    index.SetActiveRecordCount(index.Trees().RebuildSysDeleted(t->Data()));
    if (index.HasPrimaryFields()) index.Trees().BuildIndex(0, t->Data());
    for (int slot = 1; slot <= index.Header().secondaryCount; ++slot)
      index.Trees().BuildIndex(slot, t->Data());
    index.MarkHeaderChanged();
    t->WriteAllChanges(true);
  } catch (...) {
    directory.CloseTable(t);
    throw;
  }
  directory.CloseTable(t);
  Act("index file: every index rebuilt from " + std::to_string(active_) + " records");
}

}  // namespace

TableRepair RepairTable(TDataSession& session, const std::string& directory,
                        const std::string& table) {
  // A commit cut short is rolled back first: its tables are then as they
  // were before it, and only what else a crash did is left to mend.
  Env& env = session.GetEnv();
  const bool rolledBack = RecoverJournal(env, JournalPath(env, directory), session.settings, TrimBlanks(table));
  TableRepair result = Repairer(session, directory, TrimBlanks(table)).Run();
  if (rolledBack) result.actions.insert(result.actions.begin(), "journal of a commit cut short: rolled back (emptied when partial)");
  return result;
}

}  // namespace kura
