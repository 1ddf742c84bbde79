#include "freq/frequency_spill.h"

#include <cassert>
#include <charconv>

namespace vocs {

namespace {

constexpr size_t kWriterBufferSize = 64 * 1024;

void AppendNumber(int64_t value, std::string* out) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
  (void)ec;  // 24 bytes hold every 64-bit value
  out->append(digits, static_cast<size_t>(end - digits));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void AppendSpillLine(std::string_view term, const SpillCounts& counts, std::string* out) {
  out->append(term);
  out->push_back('\t');
  AppendNumber(counts.total, out);
  out->push_back('\t');
  AppendNumber(counts.records, out);
  out->push_back('\t');
  AppendNumber(counts.maxCount, out);
  out->push_back('\t');
  AppendNumber(counts.minCount, out);
  out->push_back('\n');
}

int64_t ParseSpillNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint64_t value = 0;  // unsigned, so that an overlong number wraps instead of overflowing
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  return static_cast<int64_t>(negative ? 0 - value : value);
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

bool ParseSpillLine(std::string_view line, std::string_view* term, SpillCounts* counts) {
  size_t tabs[4];
  if (!FindLastFourTabs(line, tabs)) return false;
  *term = line.substr(0, tabs[0]);
  counts->total = ParseSpillNumber(line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1));
  counts->records = ParseSpillNumber(line.substr(tabs[1] + 1, tabs[2] - tabs[1] - 1));
  counts->maxCount = ParseSpillNumber(line.substr(tabs[2] + 1, tabs[3] - tabs[2] - 1));
  counts->minCount = ParseSpillNumber(line.substr(tabs[3] + 1));
  return true;
}

bool SpillWriter::Open(const std::string& path) {
  file_ = CurrentEnv()->NewWritableFile(path);
  buffer_.clear();
  buffer_.reserve(kWriterBufferSize + 512);
  ok_ = file_ != nullptr;
  return ok_;
}

void SpillWriter::Add(std::string_view term, const SpillCounts& counts) {
#ifndef NDEBUG
  assert(last_term_.empty() || std::string_view(last_term_) <= term);
  last_term_.assign(term);
#endif
  AppendSpillLine(term, counts, &buffer_);
  if (buffer_.size() >= kWriterBufferSize) {
    if (ok_ && !file_->Append(buffer_)) ok_ = false;
    buffer_.clear();
  }
}

bool SpillWriter::Finish() {
  if (!file_) return false;
  if (ok_ && !buffer_.empty() && !file_->Append(buffer_)) ok_ = false;
  buffer_.clear();
  if (!file_->Close()) ok_ = false;
  file_.reset();
  return ok_;
}

}  // namespace vocs
