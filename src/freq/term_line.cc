#include "freq/term_line.h"

#include "text/leading_integer.h"

namespace vocs {

int64_t ParseTermLineNumber(std::string_view text) {
  return ParseLeadingInteger(text, IntegerOverflow::kWrap);
}

bool FindLastFourTabs(std::string_view line, size_t tabs[4]) {
  // The numbers hold no TAB, so the last four TABs are found from the end.
  size_t end = line.size();
  for (int k = 3; k >= 0; --k) {
    size_t tab = end == 0 ? std::string_view::npos : line.rfind('\t', end - 1);
    if (tab == std::string_view::npos) return false;
    tabs[k] = tab;
    end = tab;
  }
  return true;
}

bool TermLineCodec::Parse(std::string_view line, Entry* entry) {
  size_t tabs[4];
  if (!FindLastFourTabs(line, tabs)) return false;
  entry->term = line.substr(0, tabs[0]);
  SpillCounts& counts = entry->counts;
  counts.total = ParseTermLineNumber(line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1));
  counts.records = ParseTermLineNumber(line.substr(tabs[1] + 1, tabs[2] - tabs[1] - 1));
  counts.maxCount = ParseTermLineNumber(line.substr(tabs[2] + 1, tabs[3] - tabs[2] - 1));
  counts.minCount = ParseTermLineNumber(line.substr(tabs[3] + 1));
  return true;
}

}  // namespace vocs
