// The embedded host's reader of tagged-record files (the files a bulk load
// names), on any bytes: records reach the sink with at least one field and
// no tag twice, and a file that is refused is refused with a message.
#include <set>
#include <string>

#include "fuzz_support.h"
#include "host/tagged_record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  const std::string path = vocs::fuzz::FreshScratchDirectory() + "/rec_1.tmp";
  vocs::fuzz::WriteFileOrDie(path, vocs::fuzz::AsText(data, size));
  int64_t seen = 0;
  int64_t last_line = 0;
  const auto sink = [&](const std::vector<vocs::host::TaggedField>& fields, int64_t line,
                        std::string* error) {
    Check(!fields.empty(), "a record has fields");
    Check(line > last_line, "records come in file order");
    last_line = line;
    std::set<std::string> tags;
    for (const vocs::host::TaggedField& field : fields) {
      Check(tags.insert(field.tag).second, "no tag twice in a record");
      Check(field.value.find('\n') == std::string::npos, "a value is one line");
    }
    // Refuse every seventh record, as a sink that cannot store it would.
    if (++seen % 7 == 0) {
      *error = "refused";
      return false;
    }
    return true;
  };
  int64_t records = -1;
  std::string error;
  const bool ok = vocs::host::ReadTaggedRecords(path, sink, &records, &error);
  if (!ok) Check(!error.empty(), "a refusal says why");
  Check(records >= 0 && records <= seen, "the count of accepted records");
  if (ok) Check(records == seen, "every record accepted");
  return 0;
}
