// The checks of a table definition before a data file is created, and the
// verification of a data file when a table is first opened in the process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/record_file_format.h"

namespace kura {

// What a new data file is made from.
struct DataFileDefinition {
  std::vector<TFieldDescriptor> fields;  // in field-number order
  std::int16_t languageId = 0;
  std::int16_t sortId = 0;
  std::uint32_t blobBlockSize = 0;  // 0 means 512
  std::string description;
  bool encrypted = false;
  std::string password;
  std::int16_t userMajorVersion = 0;
  std::int16_t userMinorVersion = 0;
  int secondaryIndexCount = 0;
};

// Raises the first failure of a definition: 10015 an encrypted table
// without a password of 1 ... 15 characters, 15878 locale not installed,
// 9492 more than 1024 fields (or none), 9487 more than 30 secondary
// indexes, 9498 a BLOB block size below 64 or more than 128 BLOB fields,
// 10038 a bad or duplicate field name, 10000 a bad field number, type or
// declared size, 10006 an invalid default, minimum or maximum text.
void CheckDefinition(const DataFileDefinition& def, const std::string& table);

// Raises 8961 when the descriptors, the record length or the file length
// of an opened data file are inconsistent (field names, numbers, types,
// sizes, literals and slot offsets; whole records after the descriptors;
// next record number and first free record matching them).
void VerifyDataLayout(const TDataFileHeader& h,
                      const std::vector<TFieldDescriptor>& fields,
                      std::uint64_t fileLength, const std::string& table);

// What is wrong with the length of a data file of `fileLength` bytes whose
// header is `h` (a partial record at the end, as a write that did not
// finish leaves it, or a record count the header does not hold); empty
// when the length fits the header.
std::string DescribeDataLength(const TDataFileHeader& h, std::uint64_t fileLength);

}  // namespace kura
