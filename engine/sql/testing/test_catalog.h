// An in-memory catalog with the program's two tables and a table of every
// other column type, for the SQL tests and the fuzz target.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "engine/expr/field_types.h"
#include "engine/sql/sql_catalog.h"
#include "engine/sql/sql_lexer.h"

namespace kura::sql {

class TestCatalog : public SqlCatalog {
 public:
  TestCatalog() {
    Add("figure", {{"MNB", kTypeInteger}, {"TES", kTypeInteger},
                   {"COL", kTypeInteger}, {"PST", kTypeInteger},
                   {"BFR", kTypeInteger}, {"BTO", kTypeInteger},
                   {"TNB", kTypeInteger}, {"CMT", kTypeString, 0, 30},
                   {"DIX", kTypeInteger}});
    Add("mokuji", {{"MNB", kTypeInteger}, {"SIZE", kTypeInteger},
                   {"CMT", kTypeString, 0, 60}});
    Add("events", {{"D", kTypeDate}, {"T", kTypeTime}, {"TS", kTypeTimestamp},
                   {"B", kTypeBoolean}, {"PIC", kTypeBlob, kSubGraphic},
                   {"NOTE", kTypeBlob, kSubMemo}, {"F", kTypeFloat},
                   {"BIG", kTypeLargeInt}, {"W", kTypeWord},
                   {"SI", kTypeSmallInt}, {"RAW", kTypeBytes, 0, 4},
                   {"AMOUNT", kTypeBcd}});
  }

  std::shared_ptr<const SqlTableSchema> FindTable(std::string_view,
                                                  std::string_view tableName,
                                                  bool) override {
    for (const auto& [name, schema] : tables_)
      if (SameName(name, tableName)) return schema;
    return nullptr;
  }

 private:
  void Add(const std::string& name, std::vector<SqlColumn> columns) {
    auto schema = std::make_shared<SqlTableSchema>();
    schema->name = name;
    schema->columns = std::move(columns);
    tables_[name] = std::move(schema);
  }

  std::map<std::string, std::shared_ptr<SqlTableSchema>> tables_;
};

}  // namespace kura::sql
