// Delivery of the co-occurrence results: the result file is read line by
// line and every pair becomes one CooccurrenceRecord with its support and
// reliability values.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "cooc/cooccurrence_task.h"
#include "cooc/fixed_format.h"
#include "cooc/pair_line.h"
#include "output/result_writer.h"
#include "platform/env.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// Lines are handled in batches, so that the term lookups of a batch can wait
// for memory together instead of one after the other.
constexpr size_t kDeliveryBatch = 32;
constexpr size_t kReadChunk = 1 << 20;

// Reads the result file in large pieces and hands out its lines in batches
// of views into its buffer, valid until the next call; as LineReader, a CR
// before the LF is not part of a line and a last line needs no LF.
class BatchLineReader {
 public:
  explicit BatchLineReader(std::unique_ptr<SequentialFile> file)
      : file_(std::move(file)), buffer_(kReadChunk, '\0') {}

  // Up to `max` lines; 0 at the end of the file.
  size_t Next(std::string_view* lines, size_t max) {
    size_t n = 0;
    for (;;) {
      while (n < max) {
        const void* lf = std::memchr(buffer_.data() + begin_, '\n', end_ - begin_);
        if (lf == nullptr) break;
        const size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - buffer_.data());
        lines[n++] = Line(stop);
        begin_ = stop + 1;
      }
      // Lines handed out must stay where they are until the next call.
      if (n > 0) return n;
      if (eof_) {
        if (begin_ == end_) return 0;
        lines[0] = Line(end_);
        begin_ = end_;
        return 1;
      }
      Refill();
    }
  }
  bool error() const { return error_; }

 private:
  std::string_view Line(size_t stop) const {
    size_t length = stop - begin_;
    if (length > 0 && buffer_[stop - 1] == '\r') --length;
    return std::string_view(buffer_.data() + begin_, length);
  }
  void Refill() {
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const int64_t n = file_->Read(buffer_.data() + end_, buffer_.size() - end_);
    if (n < 0) error_ = true;
    if (n <= 0) {
      eof_ = true;
      return;
    }
    end_ += static_cast<size_t>(n);
  }

  std::unique_ptr<SequentialFile> file_;
  std::string buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool error_ = false;
};

}  // namespace

int CooccurrenceTask::DeliverResults() {
  if (writer_ == nullptr) return 0;
  int result = writer_->open(outputName_);
  if (result != 0) return result;
  std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(resultPath_);
  if (file == nullptr) return VOCS_E_RESULT_FILE_OPEN;
  BatchLineReader reader(std::move(file));
  std::string_view lines[kDeliveryBatch];
  for (size_t n; (n = reader.Next(lines, kDeliveryBatch)) > 0;) DeliverBatch(lines, n);
  // A read error would cut the results short without notice.
  if (reader.error()) return VOCS_E_RESULT_FILE_OPEN;
  result = writer_->finish();
  if (result != 0) return result;
  RemoveTemporaryFiles();
  return 0;
}

void CooccurrenceTask::DeliverBatch(const std::string_view* lines, size_t n) {
  PairLine pairs[kDeliveryBatch];
  bool wanted[kDeliveryBatch];
  uint32_t keys[kDeliveryBatch];
  for (size_t i = 0; i < n; ++i) {
    // A line that fails (empty, malformed, a term without count, a writer
    // error) is left out; the others are still delivered.
    wanted[i] = ParsePairLine(lines[i], &pairs[i]) && pairs[i].count >= minFrequency_;
    if (!wanted[i]) continue;
    keys[i] = TermIdTable::Hash(pairs[i].term2);
    termCountTable_.PrefetchSlot(keys[i]);
  }
  for (size_t i = 0; i < n; ++i) {
    if (!wanted[i]) continue;
    keys[i] = termCountTable_.FindHashed(pairs[i].term2, keys[i]);
    termCountTable_.PrefetchCount(keys[i]);
  }
  for (size_t i = 0; i < n; ++i) {
    if (wanted[i]) EmitPair(pairs[i], keys[i]);
  }
}

int CooccurrenceTask::EmitResultRecord(std::string_view line) {
  PairLine pair;
  if (!ParsePairLine(line, &pair)) return VOCS_E_MALFORMED_PAIR_LINE;
  if (pair.count < minFrequency_) return 0;
  return EmitPair(pair, termCountTable_.Find(pair.term2));
}

int CooccurrenceTask::EmitPair(const PairLine& pair, uint32_t id2) {
  CooccurrenceRecord record;
  record[0] = pair.term1;
  record[1] = pair.term2;
  record[2] = pair.count_text;
  const int result = ComputeValuesFor(&record, pair.count, id2);
  if (result < 0) return result;
  if (writer_ == nullptr) return 0;
  return writer_->writeRecord(record);
}

int CooccurrenceTask::ComputeValues(CooccurrenceRecord* record, int64_t count) {
  return ComputeValuesFor(record, count, termCountTable_.Find((*record)[1]));
}

int CooccurrenceTask::ComputeValuesFor(CooccurrenceRecord* record, int64_t count, uint32_t id2) {
  uint32_t id1 = lastTerm1Id_;
  if (id1 == TermIdTable::kNoTerm || (*record)[0] != lastTerm1_) {
    id1 = termCountTable_.Find((*record)[0]);
    if (id1 != TermIdTable::kNoTerm) {
      lastTerm1_.assign((*record)[0]);
      lastTerm1Id_ = id1;
    }
  }
  if (id1 == TermIdTable::kNoTerm || id2 == TermIdTable::kNoTerm) return VOCS_E_NO_TERM_COUNT;
  const int64_t n1 = termCountTable_.Count(id1);
  const int64_t n2 = termCountTable_.Count(id2);
  if (n1 == 0 || n2 == 0) return VOCS_E_NO_TERM_COUNT;
  (*record)[3] = ShareText(&support1Text_, count, n1, false);
  (*record)[4] = ShareText(&support2Text_, count, n2, true);
  // The reliability depends on the count alone: small counts keep theirs.
  if (count >= 0 && static_cast<uint64_t>(count) < kReliabilityTexts) {
    if (reliabilityTexts_.empty()) reliabilityTexts_.resize(kReliabilityTexts);
    (*record)[5] = ShareText(&reliabilityTexts_[static_cast<size_t>(count)], count,
                             totalTermCount_, true);
  } else {
    (*record)[5] = ShareText(&reliabilityText_, count, totalTermCount_, true);
  }
  return 0;
}

std::string_view CooccurrenceTask::ShareText(ValueText* text, int64_t count, int64_t base,
                                            bool single) {
  if (text->base != base || text->count != count || base == 0) {
    // All divisions in double precision; Support2 and Reliability are held
    // in single precision before they are printed.
    const double value = static_cast<double>(count) / static_cast<double>(base) * 100;
    const std::string_view formatted =
        FormatFixed4(single ? static_cast<double>(static_cast<float>(value)) : value, text->text);
    text->count = count;
    text->base = base;
    text->length = formatted.size();
  }
  return std::string_view(text->text, text->length);
}

std::string CooccurrenceTask::DumpPairsForTesting() const {
  std::vector<std::pair<std::pair<std::string_view, std::string_view>, int64_t>> pairs;
  pairTable_.ForEach([&](uint64_t key, int64_t count) {
    pairs.push_back({{termCountTable_.Term(static_cast<uint32_t>(key >> 32)),
                      termCountTable_.Term(static_cast<uint32_t>(key))},
                     count});
  });
  std::sort(pairs.begin(), pairs.end());
  std::string dump;
  for (const auto& [terms, count] : pairs) {
    if (!dump.empty()) dump += ' ';
    dump += "(";
    dump.append(terms.first);
    dump += ",";
    dump.append(terms.second);
    dump += ")=" + std::to_string(count);
  }
  return dump;
}

}  // namespace vocs
