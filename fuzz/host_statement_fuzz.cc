// The embedded host's parser of the module's table statements, on any text:
// it accepts a statement whose every name could be used as an identifier, or
// refuses it with a message; a statement it accepts parses the same again.
#include <string>

#include "fuzz_support.h"
#include "host/host_statement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  static vocs::host::TextCodec codec;
  const std::string_view text = vocs::fuzz::AsText(data, size);
  vocs::host::HostStatement statement;
  std::string error;
  if (!vocs::host::ParseHostStatement(text, &codec, &statement, &error)) {
    Check(!error.empty(), "a refusal says why");
    return 0;
  }
  using Kind = vocs::host::HostStatement::Kind;
  Check(vocs::host::IsValidName(statement.table), "the table name is a name");
  for (const vocs::host::ColumnSpec& column : statement.columns) {
    Check(vocs::host::IsValidName(column.name), "a column name is a name");
    vocs::host::StorageClass storage;
    Check(vocs::host::StorageClassOf(column.type_text, &storage) && storage == column.storage,
          "a column's type is known");
    Check(column.length >= 0, "a column length is not negative");
  }
  if (statement.kind == Kind::kCreateTable) Check(!statement.columns.empty(), "columns");
  if (statement.kind == Kind::kAlterColumn) {
    Check(vocs::host::IsValidName(statement.column), "the altered column is a name");
  }
  vocs::host::HostStatement again;
  Check(vocs::host::ParseHostStatement(text, &codec, &again, &error), "parses again");
  Check(again.table == statement.table && again.path == statement.path &&
            again.columns.size() == statement.columns.size(),
        "parses the same again");
  return 0;
}
