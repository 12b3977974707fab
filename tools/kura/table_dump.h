// .dump and .import of the shell: a table written as the statements that
// rebuild it, and CSV text read into rows.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/sql_value.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_session.h"
#include "tools/kura/text_codec.h"

namespace kura::tool {

// `v` as a literal that the statement grammar reads back as the same value
// (texts shown through `codec`). Raises std::runtime_error for bytes, which
// have no literal.
std::string SqlLiteral(const sql::Value& v, const TextCodec& codec);

// The statements that rebuild `table`: its definition (as .schema writes
// it) and one INSERT per row in record order, naming every column but
// AUTOINC ones (which number the rows anew).
void WriteTableDump(std::ostream& out, TDataSession& session, TDataDirectory& directory,
                    const std::string& table, bool rawEncoding);

// The records of a CSV text: fields separated by ",", records by line
// breaks (LF or CRLF); a field in double quotes may hold both, with a
// doubled quote for a quote. An empty field that is not quoted is null; a
// UTF-8 byte order mark at the start is skipped.
// Raises std::runtime_error naming the line of a quote that does not end.
std::vector<std::vector<std::optional<std::string>>> ParseCsv(std::string_view text);

}  // namespace kura::tool
