#include "cli/partial_term_counts.h"

#include <limits>

#include "host/text_codec.h"
#include "sorted_run/partial_file.h"

namespace vocs::cli {

bool PartialTermCounts::Read(const std::vector<std::string>& paths, std::string* error) {
  host::TextCodec codec;
  // The partials' own names are in the module's code page.
  std::vector<std::string> native;
  std::vector<PartialHeader> headers(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string path;
    codec.Utf8ToGb18030(paths[i], &path);
    native.push_back(std::move(path));
    if (!ReadPartialHeader(native[i], &headers[i], error)) return false;
    if (headers[i].engine != kCooccurrencePartial) {
      *error = paths[i] + " is a partial result of the " + headers[i].engine +
               " engine; term counts come from co-occurrence partials";
      return false;
    }
  }
  if (!CheckPartialSet(native, headers, error)) return false;
  counts_.clear();
  total_ = 0;
  for (size_t i = 0; i < native.size(); ++i) {
    bool overflow = false;
    const auto add = [&](std::string_view term, int64_t count) {
      int64_t& sum = counts_[codec.Gb18030ToUtf8Replacing(term)];
      overflow = overflow || sum > std::numeric_limits<int64_t>::max() - count;
      if (!overflow) sum += count;
      return !overflow;
    };
    if (!ReadPartialFile(native[i], &headers[i], add, error)) {
      if (overflow) *error = paths[i] + ": the term counts overflow when added up";
      return false;
    }
    if (total_ > std::numeric_limits<int64_t>::max() - headers[i].term_total) {
      *error = paths[i] + ": the term totals overflow when added up";
      return false;
    }
    total_ += headers[i].term_total;
  }
  origin_ = "of the " + std::to_string(paths.size()) +
            (paths.size() == 1 ? " partial result" : " partial results") + " given";
  return true;
}

int64_t PartialTermCounts::Count(std::string_view term) const {
  const auto it = counts_.find(term);
  return it == counts_.end() ? 0 : it->second;
}

}  // namespace vocs::cli
