// Sizes, version bytes and lock offsets of the table files.
//
// Everything in this header is part of the file format shared with every
// other program that reads or writes these tables: changing any value breaks
// compatibility with existing files and with other users of a shared table.
#pragma once

#include <cstdint>

namespace kura {

// ---- format version and writer version ---------------------------------------

// The version byte at offset 8 of the data, index and BLOB file headers.
inline constexpr std::uint8_t kFileFormatVersion = 5;
// Engine version stored at data file header offset 116 (3.30 as 33000).
inline constexpr std::int64_t kEngineVersion = 33000;

// The data, index and BLOB file headers all begin with their change counter
// (4 bytes, signed), incremented on every header write: kChangeCounterOffset
// in change_counter.h.

// ---- data file (.DAT) -------------------------------------------------------

inline constexpr std::uint32_t kDataHeaderSize = 127;
inline constexpr std::uint32_t kFieldDescriptorSize = 768;
inline constexpr std::uint32_t kRecordHeaderSize = 9;
inline constexpr std::uint32_t kMaxFields = 1024;
inline constexpr std::uint32_t kMaxBlobFields = 128;
// The record length is stored in 2 bytes, so 65 535 is the longest record
// a file can describe; a longer definition is refused at creation.
inline constexpr std::uint32_t kMaxRecordLength = 65535;
inline constexpr std::int32_t kMaxRecordNumber = 200000000;
inline constexpr std::uint64_t kMaxTableFileSize = 4000000000ULL;
inline constexpr std::uint32_t kMaxDeclaredSize = 250;
inline constexpr std::uint32_t kMaxFieldNameLength = 30;
inline constexpr std::int32_t kMaxRowId = 2147483647;
// Record status byte (record header offset 0).
inline constexpr std::uint8_t kRecordActive = 0;
inline constexpr std::uint8_t kRecordDeleted = 1;

// ---- index file (.IDX) ------------------------------------------------------

inline constexpr std::uint32_t kIndexHeaderSize = 4096;
inline constexpr std::uint32_t kIndexPageSize = 4096;
inline constexpr std::uint32_t kIndexDescriptorSize = 120;
inline constexpr int kIndexSlotCount = 33;          // slots 0 ... 32
inline constexpr int kMaxSecondaryIndexes = 30;
inline constexpr int kSysDeletedSlot = 31;
inline constexpr int kSysTextSlot = 32;
inline constexpr int kMaxKeyFields = 16;
inline constexpr std::uint16_t kSysDeletedKeyLength = 5;
inline constexpr std::uint16_t kSysTextKeyLength = 68;

// ---- BLOB file (.BLB) -------------------------------------------------------

inline constexpr std::uint32_t kBlobHeaderSize = 512;
inline constexpr std::uint32_t kBlobBlockHeaderSize = 18;
inline constexpr std::uint32_t kDefaultBlobBlockSize = 512;
inline constexpr std::uint32_t kMinBlobBlockSize = 64;
// A block's bytes in use are counted in 16 bits: no block holds more.
inline constexpr std::uint32_t kMaxBlobBlockSize = kBlobBlockHeaderSize + 65535;
inline constexpr std::int32_t kMaxBlobBlockNumber = 2000000000;

// ---- byte-range locks -------------------------------------------------------
//
// All locks lie on bytes beyond any real data, so they never restrict reading
// or writing of the contents.

// Data file, 1 byte: held by a writer or by a table locked for a transaction.
inline constexpr std::uint64_t kTableWriteLockOffset = 0xFFFFFFFFULL;
// Data file, 1 byte at kRecordLockBase - n: held by the user editing record n.
inline constexpr std::uint64_t kRecordLockBase = 0xFFFFFFFEULL;
// Index and BLOB files, 1 byte at kReadSlotBase - r, r in 1 ... 65 535:
// a reader's slot.
inline constexpr std::uint64_t kReadSlotBase = 0xFFFFFFFFULL;
inline constexpr std::uint32_t kReadSlotCount = 65535;
// Index and BLOB files, 65 536 bytes from 0xFFFEFFFF: a writer; covers every
// read slot.
inline constexpr std::uint64_t kWriteRangeOffset = 0xFFFEFFFFULL;
inline constexpr std::uint64_t kWriteRangeLength = 65536;

// Every file, 1 byte: the sharing lock of this implementation's opens (shared
// for a shared open, exclusive for an exclusive one). It lies beyond every
// offset the table format uses, so it conflicts with none of the locks above.
inline constexpr std::uint64_t kShareModeLockOffset = (1ULL << 32) + 65536 + 1;

// ---- lock protocol defaults -------------------------------------------------

// Attempts in all (the first and the retries) for read, write and table locks.
inline constexpr int kTableLockAttempts = 32767;
// Pause before each retry of a read, write or table lock.
inline constexpr int kTableLockPauseMs = 3;

}  // namespace kura
