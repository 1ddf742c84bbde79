#include "support/recording_host.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/mbcs.h"

namespace vocs::testing {

void RecordingHost::Log(std::string entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::move(entry));
}

std::vector<std::string> RecordingHost::log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

std::vector<std::string> RecordingHost::statements() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statements_;
}

std::vector<std::string> RecordingHost::call_names() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (const std::string& entry : log_) names.push_back(entry.substr(0, entry.find('(')));
  return names;
}

void RecordingHost::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
  statements_.clear();
}

int32_t RecordingHost::getFieldDescriptors(const char* table_name, void* descriptors,
                                           int32_t* size_in_bytes) {
  Log("getFieldDescriptors(" + std::string(table_name) + "," + std::to_string(*size_in_bytes) +
      ")");
  auto* bytes = static_cast<unsigned char*>(descriptors);
  size_t capacity = static_cast<size_t>(*size_in_bytes) / VOCS_FIELD_DESCRIPTOR_SIZE;
  for (size_t i = 0; i < table_fields.size() && i < capacity; ++i) {
    unsigned char* d = bytes + i * VOCS_FIELD_DESCRIPTOR_SIZE;
    std::strncpy(reinterpret_cast<char*>(d), table_fields[i].name.c_str(),
                 VOCS_FIELD_DESCRIPTOR_NAME_SIZE - 1);
    std::memcpy(d + VOCS_FIELD_DESCRIPTOR_ID_OFFSET, &table_fields[i].id, 4);
    std::memcpy(d + VOCS_FIELD_DESCRIPTOR_LENGTH_OFFSET, &table_fields[i].length, 4);
  }
  return 0;
}

int32_t RecordingHost::getFieldTypeText(int32_t field_id, char* buffer, int32_t* buffer_size) {
  Log("getFieldTypeText(" + std::to_string(field_id) + "," + std::to_string(*buffer_size) + ")");
  for (const Field& f : table_fields) {
    if (f.id != field_id) continue;
    if (f.type_text.empty()) return -1;
    std::strncpy(buffer, f.type_text.c_str(), static_cast<size_t>(*buffer_size) - 1);
    return 0;
  }
  return -1;
}

int32_t RecordingHost::getFieldCount(const char* table_name) {
  Log("getFieldCount(" + std::string(table_name) + ")");
  return static_cast<int32_t>(table_fields.size());
}

int32_t RecordingHost::runStatement(const char* text, int32_t flag, ResultHandle* handle) {
  std::string statement = text;
  Log("runStatement(" + statement + "," + std::to_string(flag) + ")");
  if (flag == 0) {
    *handle = ResultHandle{fail_query ? -1 : query_id,
                           fail_query ? 0 : static_cast<int32_t>(rows_.size()), 0};
    return 0;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    statements_.push_back(statement);
  }
  for (const std::string& prefix : fail_prefixes) {
    if (statement.rfind(prefix, 0) == 0) {
      handle->id = 0;
      return 0;
    }
  }
  const std::string bulk = "bulkload table ";
  if (statement.rfind(bulk, 0) == 0) {
    size_t open = statement.find('"');
    size_t close = statement.rfind('"');
    if (open != std::string::npos && close > open) {
      std::ifstream in(statement.substr(open + 1, close - open - 1), std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      std::lock_guard<std::mutex> lock(mutex_);
      loaded_files.push_back(content.str());
    }
  }
  handle->id = statement_id;
  return 0;
}

int32_t RecordingHost::closeResult(ResultHandle handle) {
  Log("closeResult(" + std::to_string(handle.id) + ")");
  return 0;
}

int32_t RecordingHost::readField(ResultHandle handle, int32_t field, int32_t record,
                                 char* buffer, int32_t* length, int32_t reserved1,
                                 int32_t reserved2) {
  Log("readField(" + std::to_string(handle.id) + "," + std::to_string(field) + "," +
      std::to_string(record) + "," + std::to_string(*length) + ")");
  if (reserved1 != 0 || reserved2 != 0) return -9;
  if (read_override) return read_override(field, record, buffer, length);
  if (record < 0 || static_cast<size_t>(record) >= rows_.size() || field < 0 ||
      static_cast<size_t>(field) >= rows_[static_cast<size_t>(record)].size()) {
    return -8;
  }
  const std::string& value = rows_[static_cast<size_t>(record)][static_cast<size_t>(field)];
  if (value.size() > static_cast<size_t>(*length)) {
    *length = static_cast<int32_t>(value.size());
    return VOCS_HOST_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, value.data(), value.size());
  buffer[value.size()] = '\0';
  *length = static_cast<int32_t>(value.size());
  return 0;
}

int32_t RecordingHost::resolveField(ResultHandle handle, const char* name, int32_t reserved) {
  Log("resolveField(" + std::to_string(handle.id) + "," + name + ")");
  if (reserved != 0) return -9;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCaseMbcs(columns_[i], name)) return static_cast<int32_t>(i);
  }
  return -2001;
}

int32_t RecordingHost::convertText(const char* source, char* destination, int32_t* length) {
  Log("convertText(" + std::string(source) + ")");
  if (convert_override) return convert_override(source, destination, length);
  size_t n = std::strlen(source);
  if (n + 1 > static_cast<size_t>(*length)) return -1;
  std::memcpy(destination, source, n + 1);
  return 0;
}

}  // namespace vocs::testing
