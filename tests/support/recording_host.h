// RecordingHost: a host for tests that serves one query result from memory and
// logs every call it receives as a short string.
//
// Queries (runStatement flag 0) open the configured table; readField follows
// the buffer-too-small protocol; convertText copies its input unchanged unless
// a test installs another conversion. Module statements (flag 1) are logged
// and succeed with id 1 unless their text begins with one of fail_prefixes; a
// bulk load statement also captures the content of the file it names, since
// the writer deletes the file once loaded.
#ifndef VOCS_TESTS_SUPPORT_RECORDING_HOST_H_
#define VOCS_TESTS_SUPPORT_RECORDING_HOST_H_

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "vocs/host_interface.h"

namespace vocs::testing {

class RecordingHost final : public HostInterface {
 public:
  struct Field {
    std::string name;
    int32_t id = 0;
    int32_t length = 0;
    std::string type_text;  // empty: getFieldTypeText answers -1
  };

  void SetTable(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows) {
    columns_ = std::move(columns);
    rows_ = std::move(rows);
  }

  // Every call, in order ("readField(7,0,1,8191)", ...).
  std::vector<std::string> log() const;
  // Texts of the module statements (flag 1), in order.
  std::vector<std::string> statements() const;
  // Names of the calls only, in order ("runStatement", "resolveField", ...).
  std::vector<std::string> call_names() const;
  void ClearLog();

  // Configuration.
  bool fail_query = false;                  // queries answer id -1
  int32_t query_id = 7;
  int32_t statement_id = 1;                 // id of statements that succeed
  std::vector<std::string> fail_prefixes;   // statements that answer id 0
  std::vector<Field> table_fields;          // answers of the field queries
  std::function<int32_t(int32_t field, int32_t record, char* buffer, int32_t* length)>
      read_override;
  std::function<int32_t(const char* source, char* destination, int32_t* length)>
      convert_override;

  // File contents captured by bulk load statements, in order.
  std::vector<std::string> loaded_files;

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
  void Log(std::string entry);

  mutable std::mutex mutex_;
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<std::string> log_;
  std::vector<std::string> statements_;
};

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_RECORDING_HOST_H_
