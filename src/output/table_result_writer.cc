#include "output/table_result_writer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/env.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"
#include "platform/paths.h"
#include "vocs/errors.h"
#include "vocs/host_interface.h"

namespace vocs {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int32_t kStatementFlag = 1;
constexpr size_t kTypeTextBufferSize = 512;

constexpr std::string_view kText = " CHAR(128)";
constexpr std::string_view kCount = " INTEGER(8)";
constexpr std::string_view kWideCount = " INTEGER(16)";
constexpr std::string_view kFraction = " NUM(16)";

using Column = TableResultWriter::Column;

const std::array<Column, kFrequencyFieldCount> kFrequencyColumns = {{
    {&kFrequencyFields[0], kText},
    {&kFrequencyFields[1], kCount},
    {&kFrequencyFields[2], kCount},
    {&kFrequencyFields[3], kCount},
    {&kFrequencyFields[4], kCount},
    {&kFrequencyFields[5], kCount},
    {&kFrequencyFields[6], kFraction},
}};

// Frequency only: the term and a wider frequency column.
const std::array<Column, 2> kFrequencyOnlyColumns = {{
    {&kFrequencyFields[0], kText},
    {&kFrequencyFields[1], kWideCount},
}};

const std::array<Column, kCooccurrenceFieldCount> kCooccurrenceColumns = {{
    {&kCooccurrenceFields[0], kText},
    {&kCooccurrenceFields[1], kText},
    {&kCooccurrenceFields[2], kCount},
    {&kCooccurrenceFields[3], kFraction},
    {&kCooccurrenceFields[4], kFraction},
    {&kCooccurrenceFields[5], kFraction},
}};

// The text of a NUL-terminated field of at most `size` bytes; a field the host
// left unterminated ends at its size.
std::string_view TerminatedText(const void* bytes, size_t size) {
  const char* text = static_cast<const char*>(bytes);
  return std::string_view(text, strnlen(text, size));
}

}  // namespace

bool TableResultWriter::execute(const std::string& text, int32_t flag) {
  if (host_ == nullptr) return false;
  ResultHandle handle{-1, 0, 0};
  host_->runStatement(text.c_str(), flag, &handle);
  if (handle.id <= 0) return false;
  host_->closeResult(handle);
  return true;
}

bool TableResultWriter::extractTableName() {
  table_name_.clear();
  size_t last = FindLastMbcs(path_, kPathSeparator);
  if (last == std::string::npos) return false;
  const bool trailing = last + 1 == path_.size();
  if (trailing) {
    last = FindLastMbcs(std::string_view(path_).substr(0, last), kPathSeparator);
    if (last == std::string::npos) return false;
  }
  table_name_ = path_.substr(last + 1);
  if (trailing) table_name_.pop_back();
  return !table_name_.empty();
}

int TableResultWriter::open(const std::string& path) {
  open_result_ = OpenTable(path);
  return open_result_;
}

int TableResultWriter::OpenTable(const std::string& path) {
  path_ = path;
  if (!ensureDirectory()) return VOCS_E_OUTPUT_PATH;
  if (!extractTableName()) return VOCS_E_NO_TABLE_NAME;
  if (!createTable()) return VOCS_E_TABLE_NOT_CREATED;
  // ensureDirectory succeeded, so the path holds a separator.
  if (!spill_.SetDirectory(TableLoadDirectory(path_)) || !spill_.CreateNext()) {
    return VOCS_E_RECORD_FILE;
  }
  return 0;
}

bool TableResultWriter::CreateTableWithColumns(std::span<const Column> columns) {
  if (host_ == nullptr) return false;
  line_.clear();
  line_.append("CREATE TABLE ").append(table_name_);
  line_.append(" PATH '").append(path_).append("' (");
  for (size_t i = 0; i < columns.size(); ++i) {
    const FieldVocabulary& field = *columns[i].field;
    if (i > 0) line_.append(", ");
    line_.append(field.column_name).append(columns[i].type);
    line_.append(" aliasname '").append(field.alias).append("'");
    line_.append(" displayname '").append(field.column_name).append("'");
  }
  line_.append(")");
  const std::string create = line_;
  if (execute(create, kStatementFlag)) return true;
  // An older table of the same name is replaced.
  if (!execute("DROP TABLE " + table_name_, kStatementFlag)) return false;
  return execute(create, kStatementFlag);
}

int TableResultWriter::WriteTaggedRecord(std::span<const FieldVocabulary> fields,
                                         RecordView record) {
  if (host_ == nullptr) return VOCS_E_NO_HOST_FOR_RECORD;
  line_.clear();
  line_.append("<REC>").append(kLineEnd);
  for (size_t i = 0; i < fields.size() && i < record.size(); ++i) {
    line_.append(fields[i].tag).append("=").append(record[i]).append(kLineEnd);
  }
  return spill_.Append(line_) ? 0 : VOCS_E_RECORD_FILE;
}

int TableResultWriter::finish() {
  // Without a table there is nothing to load or declare; above all, the
  // column statements must not reach a table of that name this run did not
  // create.
  if (open_result_ != 0) return open_result_;
  int result = LoadSpillFiles();
  if (result != 0) return result;
  if (host_ == nullptr) return VOCS_E_NO_HOST_FOR_RECORD;
  return DeclareColumns();
}

int TableResultWriter::LoadSpillFiles() {
  // A record that could not be kept makes the table incomplete: load nothing
  // and leave every file as it is.
  if (!spill_.CloseCurrent() || spill_.failed()) return VOCS_E_RECORD_FILE;
  const std::vector<std::string> files = spill_.completed();
  for (const std::string& file : files) {
    line_.clear();
    line_.append("bulkload table ").append(table_name_);
    line_.append("\"").append(file).append("\"");
    if (!execute(line_, kStatementFlag)) return VOCS_E_BULK_LOAD;
    CurrentEnv()->RemoveFile(file);
    spill_.RemoveCompleted(file);
  }
  return 0;
}

int TableResultWriter::DeclareColumns() {
  int32_t count = host_->getFieldCount(table_name_.c_str());
  if (count <= 0) return 0;
  // The array size in bytes is passed as a 32-bit value.
  count = std::min<int32_t>(count, INT32_MAX / VOCS_FIELD_DESCRIPTOR_SIZE);
  std::vector<unsigned char> descriptors(static_cast<size_t>(count) * VOCS_FIELD_DESCRIPTOR_SIZE,
                                         0);
  int32_t size_in_bytes = count * VOCS_FIELD_DESCRIPTOR_SIZE;
  host_->getFieldDescriptors(table_name_.c_str(), descriptors.data(), &size_in_bytes);

  for (int32_t i = 0; i < count; ++i) {
    const unsigned char* d =
        descriptors.data() + static_cast<size_t>(i) * VOCS_FIELD_DESCRIPTOR_SIZE;
    const std::string name(TerminatedText(d, VOCS_FIELD_DESCRIPTOR_NAME_SIZE));
    int32_t field_id = 0;
    int32_t length = 0;
    std::memcpy(&field_id, d + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, sizeof(field_id));
    std::memcpy(&length, d + VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET, sizeof(length));

    char type[kTypeTextBufferSize] = {};
    int32_t type_size = static_cast<int32_t>(kTypeTextBufferSize);
    if (host_->getFieldTypeText(field_id, type, &type_size) < 0) continue;

    line_.clear();
    line_.append("ALTER TABLE ").append(table_name_).append(" ");
    line_.append("ALTER ").append(name).append(" ");
    line_.append("AS ").append(name).append(" ");
    line_.append(TerminatedText(type, kTypeTextBufferSize));
    if (length > 0) line_.append("(").append(std::to_string(length)).append(")");
    line_.append(" NORMAL");
    if (!execute(line_, kStatementFlag)) return VOCS_E_COLUMN_STATEMENT;
  }

  line_.clear();
  line_.append("INDEX ").append(table_name_).append(" ALL");
  if (!execute(line_, kStatementFlag)) return VOCS_E_INDEX_STATEMENT;
  return 0;
}

int FrequencyTableWriter::writeRecord(RecordView record) {
  std::span<const FieldVocabulary> fields(kFrequencyFields);
  return WriteTaggedRecord(mode_ == kFrequencyOnly ? fields.first(2) : fields, record);
}

bool FrequencyTableWriter::createTable() {
  if (mode_ == kFrequencyOnly) return CreateTableWithColumns(kFrequencyOnlyColumns);
  return CreateTableWithColumns(kFrequencyColumns);
}

int CooccurrenceTableWriter::writeRecord(RecordView record) {
  return WriteTaggedRecord(kCooccurrenceFields, record);
}

bool CooccurrenceTableWriter::createTable() { return CreateTableWithColumns(kCooccurrenceColumns); }

}  // namespace vocs
