// Test support: the program's two tables created empty in a directory —
// `figure` (nine columns, no primary-key fields, a secondary index on BFR
// so that the branch-point statement "order by BFR" is live) and `mokuji`
// (MNB, SIZE, CMT with its primary index on MNB, ascending).
#pragma once

#include <string>

#include "engine/storage/index_header.h"
#include "engine/storage/record_file_format.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_session.h"

namespace kura::testing {

inline void CreateLibraryTables(const std::string& directory) {
  TDataSession session;
  TDataDirectory dir(session, directory);
  DataFileDefinition figure;
  const char* names[] = {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"};
  for (std::uint16_t i = 0; i < 7; ++i) {
    figure.fields.push_back(MakeField(i + 1, names[i], kFieldInteger));
  }
  figure.fields.push_back(MakeField(8, "CMT", kFieldString, 60));
  figure.fields.push_back(MakeField(9, "DIX", kFieldInteger));
  TIndexFileHeader plain = NewIndexHeader();
  plain.noPrimaryFields = 1;
  plain.secondaryCount = 1;
  TIndexDescriptor& bfr = plain.slots[1];
  bfr.name = "BFR";
  bfr.fieldCount = 1;
  bfr.fieldNumbers[0] = 5;
  bfr.keyLength = 9;
  dir.CloseTable(dir.CreateTable("figure", {}, figure, plain));

  DataFileDefinition mokuji;
  mokuji.fields = {MakeField(1, "MNB", kFieldInteger), MakeField(2, "SIZE", kFieldInteger),
                   MakeField(3, "CMT", kFieldString, 60)};
  TIndexFileHeader keyed = NewIndexHeader();
  keyed.noPrimaryFields = 0;
  TIndexDescriptor& d = keyed.slots[0];
  d.fieldCount = 1;
  d.fieldNumbers[0] = 1;
  d.keyLength = 5;
  d.unique = 1;
  dir.CloseTable(dir.CreateTable("mokuji", {}, mokuji, keyed));
}

}  // namespace kura::testing
