#include "support/memory_host.h"

#include <cstring>

namespace vocs::bench {

MemoryHost::MemoryHost(const std::string& corpus, std::vector<std::string> columns)
    : columns_(std::move(columns)) {
  size_t start = 0;
  while (start < corpus.size()) {
    size_t end = corpus.find('\n', start);
    if (end == std::string::npos) end = corpus.size();
    lines_.emplace_back(corpus.data() + start, end - start);
    start = end + 1;
  }
}

std::string_view MemoryHost::Field(size_t record, size_t column) const {
  std::string_view line = lines_[record];
  if (columns_.size() <= 1) return column == 0 ? line : std::string_view();
  for (size_t i = 0; i < column; ++i) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return {};
    line.remove_prefix(tab + 1);
  }
  return line.substr(0, line.find('\t'));
}

int32_t MemoryHost::getFieldDescriptors(const char*, void*, int32_t*) { return 0; }

int32_t MemoryHost::getFieldTypeText(int32_t, char*, int32_t*) { return -1; }

int32_t MemoryHost::getFieldCount(const char*) { return 0; }

int32_t MemoryHost::runStatement(const char*, int32_t flag, ResultHandle* handle) {
  if (flag == 0) {
    *handle = ResultHandle{1, static_cast<int32_t>(lines_.size()), 0};
  } else {
    handle->id = 1;
  }
  return 0;
}

int32_t MemoryHost::closeResult(ResultHandle) { return 0; }

int32_t MemoryHost::readField(ResultHandle, int32_t field, int32_t record, char* buffer,
                              int32_t* length, int32_t, int32_t) {
  if (record < 0 || static_cast<size_t>(record) >= lines_.size() || field < 0 ||
      static_cast<size_t>(field) >= columns_.size()) {
    return -1;
  }
  std::string_view text = Field(static_cast<size_t>(record), static_cast<size_t>(field));
  if (text.size() > static_cast<size_t>(*length)) {
    *length = static_cast<int32_t>(text.size());
    return VOCS_HOST_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *length = static_cast<int32_t>(text.size());
  return 0;
}

int32_t MemoryHost::resolveField(ResultHandle, const char* name, int32_t) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i] == name) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t MemoryHost::convertText(const char* source, char* destination, int32_t* length) {
  const size_t n = std::strlen(source);
  if (n + 1 > static_cast<size_t>(*length)) return -1;
  std::memcpy(destination, source, n + 1);
  return 0;
}

}  // namespace vocs::bench
