// Delivery of the co-occurrence results: the result file is read line by
// line and every pair becomes one CooccurrenceRecord with its support and
// reliability values.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "cooc/cooccurrence_task.h"
#include "cooc/pair_line.h"
#include "cooc/pair_values.h"
#include "output/result_writer.h"
#include "platform/env.h"
#include "platform/line_reader.h"
#include "sorted_run/line_buffer.h"
#include "sorted_run/run_merger.h"
#include "text/fixed_format.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// Lines are handled in batches, so that the term lookups of a batch can wait
// for memory together instead of one after the other.
constexpr size_t kDeliveryBatch = 32;
// The result file is read in pieces of this size.
constexpr size_t kReadChunk = 1 << 20;
// Whether `term`, written into a pair line, reads back from it as itself:
// the line's scan takes a byte of 0x80 or above together with the byte after
// it, so such a byte must have its second byte within the term, and no byte
// the scan or the line reader stops at (a tab, a line feed, a 0 byte) may
// stand on its own; a line feed ends a line wherever it stands.
bool ReadsBackAsWritten(std::string_view term) {
  const size_t n = term.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(term[i]);
    if (c >= 0x80) {
      if (++i == n || term[i] == '\n') return false;
    } else if (c == '\t' || c == '\n' || c == '\0') {
      return false;
    }
  }
  return true;
}

}  // namespace

void CooccurrenceTask::KeepStorageForMergedPairs() {
  merged_ = MergedPairs();
  bool keep = writer_ != nullptr && !writes_partial();
  for (uint32_t id = 0; keep && id < termCountTable_.size(); ++id) {
    keep = ReadsBackAsWritten(termCountTable_.Term(id));
  }
  if (!keep) {
    pairTable_.Release();
    return;
  }
  merged_.storage = pairTable_.TakeStorage();
  merged_.words = reinterpret_cast<uint64_t*>(merged_.storage.get());
  merged_.capacity = merged_.storage.get_deleter().bytes / sizeof(uint64_t);
  merged_.kept = true;
}

void CooccurrenceTask::KeepMergedPair(uint64_t key, int64_t count) {
  const int count_bits = merged_.count_bits;
  if (merged_.size == merged_.capacity || count_bits <= 0 || count_bits >= 63 ||
      (static_cast<uint64_t>(count) >> count_bits) != 0) {
    // Delivery reads the result file instead.
    merged_ = MergedPairs();
    return;
  }
  merged_.words[merged_.size++] = (key << count_bits) | static_cast<uint64_t>(count);
}

void CooccurrenceTask::DeliverMergedPairs() {
  // Every kept word has 1 to 62 count bits (KeepMergedPair); a run without
  // pairs may have none, and 64.
  if (merged_.size == 0) return;
  const TermIdTable& terms = termCountTable_;
  const int count_bits = merged_.count_bits;
  const int bits = merged_.bits;
  const uint64_t count_mask = (uint64_t{1} << count_bits) - 1;
  const uint64_t low_mask = (uint64_t{1} << bits) - 1;
  // The term counts by rank, so that a pair's term2 costs two lookups at
  // its rank, both fetched ahead, instead of a chain of three.
  std::vector<int64_t> counts(terms.size());
  for (uint32_t rank = 0; rank < counts.size(); ++rank) {
    counts[rank] = terms.Count(terms.IdAtRank(rank));
  }
  const uint64_t* words = merged_.words;
  const size_t size = merged_.size;
  auto rank2_at = [&](size_t i) {
    return static_cast<uint32_t>((words[i] >> count_bits) & low_mask);
  };
  CooccurrenceRecord record;
  char count_text[LineBuffer::kMaxDecimal];
  uint32_t rank1 = TermIdTable::kNoTerm;
  int64_t n1 = 0;
  for (size_t i = 0; i < size; ++i) {
    if (i + kRankAhead < size) {
      const uint32_t ahead = rank2_at(i + kRankAhead);
      terms.PrefetchRank(ahead);
#if defined(__GNUC__)
      __builtin_prefetch(&counts[ahead]);
#endif
    }
    if (i + kTermAhead < size) terms.PrefetchTermAtRank(rank2_at(i + kTermAhead));
    const uint64_t word = words[i];
    const int64_t count = static_cast<int64_t>(word & count_mask);
    if (count < minFrequency_) continue;
    const uint64_t key = word >> count_bits;
    const uint32_t rank2 = static_cast<uint32_t>(key & low_mask);
    if (static_cast<uint32_t>(key >> bits) != rank1) {
      rank1 = static_cast<uint32_t>(key >> bits);
      n1 = counts[rank1];
      record[0] = terms.TermAtRank(rank1);
    }
    const int64_t n2 = counts[rank2];
    // A term without a count is left out, as its line would be.
    if (n1 == 0 || n2 == 0) continue;
    record[1] = terms.TermAtRank(rank2);
    record[2] = std::string_view(count_text,
                                 static_cast<size_t>(LineBuffer::PutDecimal(count_text, count) -
                                                     count_text));
    FillValues(&record, count, n1, n2);
    // A writer error leaves this record out; the others are still delivered.
    writer_->writeRecord(record);
  }
}

int CooccurrenceTask::DeliverResults() {
  if (writes_partial()) {
    std::vector<PartialTermCount> counts;
    counts.reserve(termCountTable_.counted_terms());
    for (uint32_t id = 0; id < termCountTable_.size(); ++id) {
      if (termCountTable_.Count(id) > 0) {
        counts.emplace_back(std::string(termCountTable_.Term(id)), termCountTable_.Count(id));
      }
    }
    return WritePartialResult(kCooccurrencePartial, std::move(counts), totalTermCount_);
  }
  if (writer_ == nullptr) return 0;
  int result = writer_->open(outputName_);
  if (result != 0) return result;
  {
    // The result file is closed before it is removed: Windows keeps an open
    // file, and with it its directory, until the last handle goes.
    std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(resultPath());
    if (file == nullptr) return VOCS_E_RESULT_FILE_OPEN;
    if (merged_.kept) {
      // The file holds the kept pairs; it is opened only to find it there.
      file.reset();
      DeliverMergedPairs();
      merged_ = MergedPairs();
    } else {
      LineReader reader(std::move(file), kReadChunk);
      std::string_view lines[kDeliveryBatch];
      for (size_t n; (n = reader.ReadLines(lines, kDeliveryBatch)) > 0;) DeliverBatch(lines, n);
      // A read error would cut the results short without notice.
      if (reader.error()) return VOCS_E_RESULT_FILE_OPEN;
    }
  }
  result = writer_->finish();
  if (result != 0) return result;
  files_.RemoveTemporaryFiles();
  return 0;
}

int CooccurrenceTask::DeliverPartials(const std::vector<std::string>& paths) {
  int64_t term_total = 0;
  int result = ReadPartials(
      paths, kCooccurrencePartial,
      [this](std::string_view term, int64_t count) {
        termCountTable_.AddCounts(termCountTable_.Intern(term), count);
        return true;
      },
      &term_total);
  if (result != 0) return result;
  totalTermCount_ = term_total;
  RunMerger<PairLineCodec> merger(resultPath(), paths);
  if (!merger.Merge()) {
    partial_error_ = "the partial results could not be merged in " + tempDir();
    return VOCS_E_NO_RESULT_FILE;
  }
  return DeliverResults();
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

int CooccurrenceTask::EmitResultRecordForTesting(std::string_view line) {
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

int CooccurrenceTask::ComputeValuesForTesting(CooccurrenceRecord* record, int64_t count) {
  return ComputeValuesFor(record, count, termCountTable_.Find((*record)[1]));
}

int CooccurrenceTask::ComputeValuesFor(CooccurrenceRecord* record, int64_t count, uint32_t id2) {
  uint32_t id1 = last_term1_id_;
  if (id1 == TermIdTable::kNoTerm || (*record)[0] != last_term1_) {
    id1 = termCountTable_.Find((*record)[0]);
    if (id1 != TermIdTable::kNoTerm) {
      last_term1_.assign((*record)[0]);
      last_term1_id_ = id1;
    }
  }
  if (id1 == TermIdTable::kNoTerm || id2 == TermIdTable::kNoTerm) return VOCS_E_NO_TERM_COUNT;
  const int64_t n1 = termCountTable_.Count(id1);
  const int64_t n2 = termCountTable_.Count(id2);
  if (n1 == 0 || n2 == 0) return VOCS_E_NO_TERM_COUNT;
  FillValues(record, count, n1, n2);
  return 0;
}

void CooccurrenceTask::FillValues(CooccurrenceRecord* record, int64_t count, int64_t n1,
                                  int64_t n2) {
  (*record)[3] = ShareText(&support1_text_, PairValue::kSupport1, count, n1);
  (*record)[4] = ShareText(&support2_text_, PairValue::kSupport2, count, n2);
  // The reliability depends on the count alone: small counts keep theirs.
  if (count >= 0 && static_cast<uint64_t>(count) < kReliabilityTexts) {
    if (reliability_texts_.empty()) reliability_texts_.resize(kReliabilityTexts);
    (*record)[5] = ShareText(&reliability_texts_[static_cast<size_t>(count)],
                             PairValue::kReliability, count, totalTermCount_);
  } else {
    (*record)[5] = ShareText(&reliability_text_, PairValue::kReliability, count, totalTermCount_);
  }
}

std::string_view CooccurrenceTask::ShareText(ValueText* text, PairValue value, int64_t count,
                                            int64_t base) {
  if (text->base != base || text->count != count || base == 0) {
    const std::string_view formatted = FormatPairValue(value, count, base, text->text);
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
