// Helpers of the cursor tests: a figure-shaped table (ID, MNB, BFR, CMT)
// with a choice of indexes, a catalog over an open cursor's fields for
// parsing conditions, and reading a cursor's records in order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/sql/query_statement.h"
#include "engine/storage/index_header.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::testing {

// Fields: 1 ID integer, 2 MNB integer, 3 BFR integer, 4 CMT string(6).
inline DataFileDefinition FigureShape() {
  DataFileDefinition def;
  def.fields = {MakeField(1, "ID", kFieldInteger), MakeField(2, "MNB", kFieldInteger),
                MakeField(3, "BFR", kFieldInteger), MakeField(4, "CMT", kFieldString, 6)};
  return def;
}

struct IndexChoice {
  bool primaryOnId = false;  // unique primary index on ID
  bool byMnb = false;        // "ByMNB" on MNB
  bool byBfrDesc = false;    // "ByBFR" on BFR, descending
  bool byCmt = false;        // "ByCMT" on CMT
  bool byCmtNoCase = false;  // "ByCMTNoCase" on CMT, case-insensitive
  bool mnbUnique = false;    // "ByMNB" unique
};

inline TIndexFileHeader FigureIndexes(const IndexChoice& c) {
  TIndexFileHeader h = NewIndexHeader();
  if (c.primaryOnId) {
    h.slots[0].keyLength = 5;
    h.slots[0].unique = 1;
    h.slots[0].fieldCount = 1;
    h.slots[0].fieldNumbers[0] = 1;
  } else {
    h.noPrimaryFields = 1;
  }
  auto add = [&](const char* name, int field, std::uint16_t segment, bool unique, bool desc,
                 bool noCase) {
    TIndexDescriptor& d = h.slots[++h.secondaryCount];
    d.name = name;
    d.keyLength = static_cast<std::uint16_t>(segment + (unique ? 0 : 4));
    d.unique = unique;
    d.descending = desc;
    d.fieldDescending[0] = desc;
    d.caseInsensitive = noCase;
    d.fieldCount = 1;
    d.fieldNumbers[0] = static_cast<std::uint16_t>(field);
  };
  if (c.byMnb) add("ByMNB", 2, 5, c.mnbUnique, false, false);
  if (c.byBfrDesc) add("ByBFR", 3, 5, false, true, false);
  if (c.byCmt) add("ByCMT", 4, 8, false, false, false);
  if (c.byCmtNoCase) add("ByCMTNoCase", 4, 8, false, false, true);
  return h;
}

// The fields of an open cursor's table as the SQL layer sees them.
class CursorCatalog final : public sql::SqlCatalog {
 public:
  explicit CursorCatalog(TDataCursor& cursor) : cursor_(cursor) {}
  std::shared_ptr<const sql::SqlTableSchema> FindTable(std::string_view, std::string_view name,
                                                       bool) override {
    auto s = std::make_shared<sql::SqlTableSchema>();
    s->name = std::string(name);
    for (const TFieldDescriptor& f : cursor_.Fields()) {
      s->columns.push_back({f.name, f.type, f.subtype, f.declaredSize, 0, false});
    }
    return s;
  }

 private:
  TDataCursor& cursor_;
};

// The WHERE condition of "select * from t where <text>", kept with its
// statement.
class Condition {
 public:
  Condition(TDataCursor& cursor, const std::string& text) : catalog_(cursor) {
    parsed_ = sql::PrepareStatement("select * from t where " + text, catalog_);
  }
  const sql::TExpToken& Root() const { return *parsed_->master().where; }

 private:
  CursorCatalog catalog_;
  std::unique_ptr<sql::ParsedStatement> parsed_;
};

// The record numbers from First to the end with Next.
inline std::vector<std::int32_t> Forward(TDataCursor& c) {
  std::vector<std::int32_t> out;
  c.First();
  while (c.Next()) out.push_back(c.CurrentRecordNumber());
  return out;
}

// The record numbers from Last to the beginning with Prior.
inline std::vector<std::int32_t> Backward(TDataCursor& c) {
  std::vector<std::int32_t> out;
  c.Last();
  while (c.Prior()) out.push_back(c.CurrentRecordNumber());
  return out;
}

}  // namespace kura::testing
