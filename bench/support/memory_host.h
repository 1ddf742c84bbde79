// MemoryHost: a HostInterface that serves the records of a corpus held in
// memory, for benchmarks that run the real job without a database.
//
// Every line of the corpus (ended by LF) is one record. With one column the
// whole line is the field's text; with several, the line's fields are
// separated by TAB and column i is the i-th of them (missing ones are empty).
// Any query opens the whole corpus; resolveField finds a column by name,
// case-sensitive. readField follows the buffer-too-small protocol. The text
// conversion returns its input unchanged: the corpus is already segmented
// into terms joined by "/". Module statements (flag 1) succeed and do
// nothing; the table description operations describe no field.
//
// The host does not copy the corpus: the string passed in must outlive it.
// Not thread-safe; one job at a time.
#ifndef VOCS_BENCH_SUPPORT_MEMORY_HOST_H_
#define VOCS_BENCH_SUPPORT_MEMORY_HOST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vocs/host_interface.h"

namespace vocs::bench {

class MemoryHost final : public HostInterface {
 public:
  explicit MemoryHost(const std::string& corpus, std::vector<std::string> columns = {"body"});

  size_t record_count() const { return lines_.size(); }
  // The text of one field of one record.
  std::string_view Field(size_t record, size_t column) const;

  int32_t getFieldDescriptors(const char* table_name, void* descriptors,
                              int32_t* size_in_bytes) override;
  int32_t getFieldTypeText(int32_t field_id, char* buffer, int32_t* buffer_size) override;
  int32_t getFieldCount(const char* table_name) override;
  int32_t runStatement(const char* text, int32_t flag, ResultHandle* handle) override;
  int32_t closeResult(ResultHandle handle) override;
  int32_t readField(ResultHandle handle, int32_t field, int32_t record, char* buffer,
                    int32_t* length, int32_t reserved1, int32_t reserved2) override;
  int32_t resolveField(ResultHandle handle, const char* name, int32_t reserved) override;
  int32_t convertText(const char* source, char* destination, int32_t* length) override;

 private:
  std::vector<std::string_view> lines_;
  std::vector<std::string> columns_;
};

}  // namespace vocs::bench

#endif  // VOCS_BENCH_SUPPORT_MEMORY_HOST_H_
