#include "freq/term_run.h"

#include <cstring>

#include "freq/term_line.h"
#include "sorted_run/line_buffer.h"
#include "text/order_prefix.h"
#include "text/text_primitives.h"

namespace vocs {

namespace {

// Bytes a writer gathers and a reader reads at once.
constexpr size_t kBufferBytes = 256 * 1024;
// The largest record: the length, four counts of at most ten bytes each, and
// the longest term.
constexpr size_t kMaxRecord = 2 + 4 * 10 + kMaxTermLength;

char* PutVarint(char* p, uint64_t value) {
  while (value >= 0x80) {
    *p++ = static_cast<char>(static_cast<uint8_t>(value) | 0x80);
    value >>= 7;
  }
  *p++ = static_cast<char>(value);
  return p;
}

// One count from p, not reading at or past `limit`; null when the bytes end
// first (*cut set) or the value needs more than 63 bits.
const char* GetVarint(const char* p, const char* limit, int64_t* out, bool* cut) {
  uint64_t value = 0;
  // Nine groups of seven bits hold 63 bits; a tenth byte is too many.
  for (int shift = 0; shift < 63; shift += 7) {
    if (p == limit) {
      *cut = true;
      return nullptr;
    }
    const uint64_t byte = static_cast<uint8_t>(*p++);
    value |= (byte & 0x7F) << shift;
    if (byte < 0x80) {
      *out = static_cast<int64_t>(value);
      return p;
    }
  }
  return nullptr;
}

// Whether one run of records can have given these counts.
bool PossibleCounts(const SpillCounts& c) {
  return c.records >= 1 && c.minCount >= 1 && c.minCount <= c.maxCount &&
         c.maxCount <= c.total && c.records <= c.total;
}

}  // namespace

TermRunWriter::TermRunWriter() : buffer_(kBufferBytes, '\0') {}

bool TermRunWriter::Open(std::unique_ptr<WritableFile> file) {
  file_ = std::move(file);
  ok_ = file_ != nullptr;
  std::memcpy(buffer_.data(), kTermRunMark.data(), kTermRunMark.size());
  fill_ = kTermRunMark.size();
  return ok_;
}

void TermRunWriter::Add(std::string_view term, const SpillCounts& counts) {
  if (fill_ + kMaxRecord > buffer_.size()) Flush();
  char* const start = buffer_.data() + fill_;
  const uint16_t length = static_cast<uint16_t>(term.size());
  std::memcpy(start, &length, 2);
  char* p = start + 2;
  p = PutVarint(p, static_cast<uint64_t>(counts.total));
  p = PutVarint(p, static_cast<uint64_t>(counts.records));
  p = PutVarint(p, static_cast<uint64_t>(counts.maxCount));
  p = PutVarint(p, static_cast<uint64_t>(counts.minCount));
  p = LineBuffer::Put(p, term);
  fill_ = static_cast<size_t>(p - buffer_.data());
}

void TermRunWriter::Flush() {
  if (ok_ && fill_ > 0 && !file_->Append(std::string_view(buffer_.data(), fill_))) ok_ = false;
  fill_ = 0;
}

bool TermRunWriter::Finish() {
  if (!file_) return false;
  Flush();
  if (!file_->Close()) ok_ = false;
  file_.reset();
  return ok_;
}

bool TermRunReader::Open(std::unique_ptr<SequentialFile> file) {
  file_ = std::move(file);
  if (file_ == nullptr) return Fail("the run cannot be opened");
  buffer_.resize(kBufferBytes);
  next_ = end_ = 0;
  if (!Fill()) return false;
  if (end_ < kTermRunMark.size() ||
      std::string_view(buffer_.data(), kTermRunMark.size()) != kTermRunMark) {
    return Fail("the file is not a term run (no run mark)");
  }
  next_ = kTermRunMark.size();
  return true;
}

bool TermRunReader::Fill() {
  const size_t rest = end_ - next_;
  if (started_ && last_term_.data() >= buffer_.data() &&
      last_term_.data() < buffer_.data() + buffer_.size()) {
    last_copy_.assign(last_term_);
    last_term_ = last_copy_;
  }
  if (rest > 0) std::memmove(buffer_.data(), buffer_.data() + next_, rest);
  next_ = 0;
  end_ = rest;
  while (!eof_ && end_ < buffer_.size()) {
    const int64_t n = file_->Read(buffer_.data() + end_, buffer_.size() - end_);
    if (n < 0) return Fail("the run cannot be read");
    if (n == 0) eof_ = true;
    end_ += static_cast<size_t>(n);
  }
  return true;
}

bool TermRunReader::Next(TermEntry* entry) {
  if (error_ != nullptr || file_ == nullptr) return false;
  if (end_ - next_ < kMaxRecord && !eof_ && !Fill()) return false;
  if (next_ == end_) return false;  // the end of the run
  const char* p = buffer_.data() + next_;
  const char* const limit = buffer_.data() + end_;
  if (limit - p < 6) return Fail("a record is cut off");
  uint16_t length;
  std::memcpy(&length, p, 2);
  p += 2;
  if (length > kMaxTermLength) return Fail("a term is longer than 256 bytes");
  SpillCounts& c = entry->counts;
  uint32_t small;
  std::memcpy(&small, p, 4);
  if ((small & 0x80808080u) == 0) {
    // Four counts of one byte each, the usual record.
    c.total = small & 0xFF;
    c.records = (small >> 8) & 0xFF;
    c.maxCount = (small >> 16) & 0xFF;
    c.minCount = small >> 24;
    p += 4;
  } else {
    bool cut = false;
    p = GetVarint(p, limit, &c.total, &cut);
    if (p != nullptr) p = GetVarint(p, limit, &c.records, &cut);
    if (p != nullptr) p = GetVarint(p, limit, &c.maxCount, &cut);
    if (p != nullptr) p = GetVarint(p, limit, &c.minCount, &cut);
    if (p == nullptr) return Fail(cut ? "a record is cut off" : "a count has more than 63 bits");
  }
  if (limit - p < length) return Fail("a record is cut off");
  if (!PossibleCounts(c)) return Fail("a record holds counts no records can give");
  const std::string_view term(p, length);
  if (started_) {
    const uint64_t a = OrderPrefix(last_term_);
    const uint64_t b = OrderPrefix(term);
    if (a > b || (a == b && last_term_.compare(term) >= 0)) {
      return Fail("a term does not sort after the one before it");
    }
  }
  started_ = true;
  last_term_ = term;
  entry->term = term;
  next_ = static_cast<size_t>(p + length - buffer_.data());
  return true;
}

bool TermRunTextForTesting(const std::string& path, std::string* text, std::string* error) {
  TermRunReader reader;
  text->clear();
  error->clear();
  LineBuffer lines;
  TermEntry entry;
  if (reader.Open(CurrentEnv()->NewSequentialFile(path))) {
    while (reader.Next(&entry)) TermLineCodec::Append(entry, &lines);
  }
  text->assign(lines.view());
  if (reader.failed()) *error = reader.error();
  return !reader.failed();
}

}  // namespace vocs
