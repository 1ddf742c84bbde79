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

namespace {

// The four numbers of a line whose number fields are 1 to 18 plain digits
// each, as every writer of these lines makes them, read backwards from the
// line's end in one sweep; *term_end receives the position of the first of
// the four TABs. False for any other shape, which the general parse reads.
bool ParsePlainNumbers(std::string_view line, int64_t values[4], size_t* term_end) {
  size_t end = line.size();
  for (int k = 3; k >= 0; --k) {
    uint64_t value = 0;
    uint64_t scale = 1;
    size_t digits = 0;
    while (end > 0 && digits <= 18) {
      const unsigned digit = static_cast<unsigned char>(line[end - 1]) - unsigned{'0'};
      if (digit > 9) break;
      value += digit * scale;
      scale *= 10;
      --end;
      ++digits;
    }
    if (digits == 0 || digits > 18 || end == 0 || line[end - 1] != '\t') return false;
    values[k] = static_cast<int64_t>(value);
    --end;
  }
  *term_end = end;
  return true;
}

}  // namespace

bool TermLineCodec::Parse(std::string_view line, Entry* entry) {
  int64_t values[4];
  size_t term_end = 0;
  if (ParsePlainNumbers(line, values, &term_end)) {
    entry->term = line.substr(0, term_end);
    entry->counts = SpillCounts{values[0], values[1], values[2], values[3]};
    return true;
  }
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
