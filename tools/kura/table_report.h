// What the shell tells about a table: its definition as SQL statements
// (.schema) and its header fields, field descriptors, index definitions and
// counts (kura info).
#pragma once

#include <ostream>
#include <string>

#include "engine/storage/storage_table.h"
#include "tools/kura/text_codec.h"

namespace kura::tool {

// The CREATE TABLE statement of the table followed by one CREATE INDEX
// statement per secondary index, each ending in ";" and a line break.
// Running them creates a table of the same definition.
std::string SchemaStatements(TDataTable& table, const TextCodec& codec);

// The header fields of the three files, the field descriptors, the index
// definitions and the record, page and block counts.
void WriteTableInfo(std::ostream& out, TDataTable& table, const TextCodec& codec);

// A name as the statement grammar reads it back: bare when it is a plain
// word, else in brackets.
std::string SqlName(const std::string& name);
// `text` as an SQL string literal: in single quotes, each quote doubled.
std::string SqlQuoted(const std::string& text);

// The SQL type of a field descriptor ("INTEGER", "VARCHAR(30)", ...).
std::string SqlTypeName(const TFieldDescriptor& f);

}  // namespace kura::tool
