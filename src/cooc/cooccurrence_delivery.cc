// Delivery of the co-occurrence results: the result file is read line by
// line and every pair becomes one CooccurrenceRecord with its support and
// reliability values.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

#include "cooc/cooccurrence_task.h"
#include "cooc/pair_line.h"
#include "output/result_writer.h"
#include "platform/env.h"
#include "platform/line_reader.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// Formats `value` as "%0.4f" does into a 40-byte buffer (at most 39
// characters). std::to_chars with a precision gives printf's digits, without
// its cost per call.
std::string_view FormatFixed4(double value, char (&buffer)[40]) {
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::fixed, 4);
  if (result.ec == std::errc()) {
    *result.ptr = '\0';
    return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
  }
  std::snprintf(buffer, sizeof(buffer), "%0.4f", value);
  return std::string_view(buffer);
}

}  // namespace

int CooccurrenceTask::DeliverResults() {
  if (writer_ == nullptr) return 0;
  int result = writer_->open(outputName_);
  if (result != 0) return result;
  std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(resultPath_);
  if (file == nullptr) return VOCS_E_RESULT_FILE_OPEN;
  LineReader reader(std::move(file));
  std::string_view line;
  while (reader.ReadLine(&line)) {
    // A line that fails (malformed, a term without count, a writer error) is
    // left out; the others are still delivered.
    if (!line.empty()) EmitResultRecord(line);
  }
  // A read error would cut the results short without notice.
  if (reader.error()) return VOCS_E_RESULT_FILE_OPEN;
  result = writer_->finish();
  if (result != 0) return result;
  RemoveTemporaryFiles();
  return 0;
}

int CooccurrenceTask::EmitResultRecord(std::string_view line) {
  PairLine pair;
  if (!ParsePairLine(line, &pair)) return VOCS_E_MALFORMED_PAIR_LINE;
  if (pair.count < minFrequency_) return 0;
  CooccurrenceRecord record;
  record[0] = pair.term1;
  record[1] = pair.term2;
  record[2] = pair.count_text;
  const int result = ComputeValues(&record, pair.count);
  if (result < 0) return result;
  if (writer_ == nullptr) return 0;
  return writer_->writeRecord(record);
}

int CooccurrenceTask::ComputeValues(CooccurrenceRecord* record, int64_t count) {
  const uint32_t id1 = termCountTable_.Find((*record)[0]);
  const uint32_t id2 = termCountTable_.Find((*record)[1]);
  if (id1 == TermIdTable::kNoTerm || id2 == TermIdTable::kNoTerm) return VOCS_E_NO_TERM_COUNT;
  const int64_t n1 = termCountTable_.Count(id1);
  const int64_t n2 = termCountTable_.Count(id2);
  if (n1 == 0 || n2 == 0) return VOCS_E_NO_TERM_COUNT;
  const double c = static_cast<double>(count);
  const double support1 = c / static_cast<double>(n1) * 100;
  const float support2 = static_cast<float>(c / static_cast<double>(n2) * 100);
  const float reliability = static_cast<float>(c / static_cast<double>(totalTermCount_) * 100);
  (*record)[3] = FormatFixed4(support1, support1Text_);
  (*record)[4] = FormatFixed4(support2, support2Text_);
  (*record)[5] = FormatFixed4(reliability, reliabilityText_);
  return 0;
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
