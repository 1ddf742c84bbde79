#include "cli/pair_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <unordered_set>

#include "host/host_statement.h"
#include "host/text_codec.h"
#include "host/word_segmenter.h"

namespace vocs::cli {

namespace {

// Texts longer than this are segmented in part and scaled by their length.
constexpr size_t kSampleBytes = 256 * 1024;
// Once this much text was segmented, the rest is sized by the ratio seen.
// Segmenting is most of a NORMAL run's work and the estimate runs before it,
// alone: a larger sample would add to every co-occurrence run what the terms
// per byte of a megabyte already tell.
constexpr size_t kSegmentBudget = 1024 * 1024;

bool MeetsTermRule(std::string_view gb18030) {
  return gb18030.size() >= 4 && static_cast<unsigned char>(gb18030[0]) >= 0x41;
}

// Counts the terms of texts as the engines cut them, and the bytes of the
// terms (for the size of the spill lines).
class TermCounter {
 public:
  // Terms of a text the host segments (NORMAL): UTF-8 or GB18030 bytes.
  double Normal(std::string_view text, size_t full_size) {
    if (full_size == 0) return 0;
    if (segmented_ >= kSegmentBudget && sampled_bytes_ > 0) {
      last_distinct_ = -1;
      return Count(static_cast<double>(full_size) * terms_ / sampled_bytes_,
                   static_cast<double>(full_size) * term_bytes_ / sampled_bytes_);
    }
    // A sample ends before a UTF-8 continuation byte, so that UTF-8 text
    // stays valid.
    size_t cut = std::min(text.size(), kSampleBytes);
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    const std::string_view sample = text.substr(0, cut);
    double terms = 0;
    double bytes = 0;
    std::unordered_set<std::string> distinct;
    for (std::string& word : segmenter_.Words(sample, host::TextEncoding::kUtf8WhenValid)) {
      if (!MeetsTermRule(word)) continue;
      terms += 1;
      bytes += static_cast<double>(word.size());
      distinct.insert(std::move(word));
    }
    last_distinct_ = sample.size() == full_size ? static_cast<double>(distinct.size()) : -1;
    segmented_ += sample.size();
    sampled_bytes_ += static_cast<double>(sample.size());
    terms_ += terms;
    term_bytes_ += bytes;
    const double scale =
        sample.empty() ? 0 : static_cast<double>(full_size) / static_cast<double>(sample.size());
    return Count(terms * scale, bytes * scale);
  }

  // Terms of a field in NONE (one) or SEGASCOL (cut at delimiters) mode.
  double Cut(std::string_view gb18030, int mode, std::string_view delimiters) {
    last_distinct_ = -1;
    if (mode == 0) {
      const std::string_view whole = host::TrimSpace(gb18030);
      return MeetsTermRule(whole) ? Count(1, static_cast<double>(whole.size())) : 0;
    }
    double terms = 0;
    double bytes = 0;
    size_t start = 0;
    const auto piece_end = [&](size_t end) {
      const std::string_view piece = host::TrimSpace(gb18030.substr(start, end - start));
      if (MeetsTermRule(piece)) {
        terms += 1;
        bytes += static_cast<double>(piece.size());
      }
    };
    for (size_t i = 0; i < gb18030.size();) {
      const size_t n =
          static_cast<unsigned char>(gb18030[i]) >= 0x81 && i + 1 < gb18030.size() ? 2 : 1;
      bool delimiter = false;
      for (size_t d = 0; d < delimiters.size();) {
        const size_t m =
            static_cast<unsigned char>(delimiters[d]) >= 0x81 && d + 1 < delimiters.size() ? 2 : 1;
        if (m == n && gb18030.compare(i, n, delimiters.substr(d, m)) == 0) delimiter = true;
        d += m;
      }
      if (delimiter) {
        piece_end(i);
        start = i + n;
      }
      i += n;
    }
    piece_end(gb18030.size());
    return Count(terms, bytes);
  }

  // Distinct terms of the text counted last when they are known (the text
  // was segmented whole), else -1.
  double last_distinct() const { return last_distinct_; }

  double average_term_bytes() const {
    return counted_terms_ > 0 ? counted_term_bytes_ / counted_terms_ : 6;
  }

 private:
  double Count(double terms, double bytes) {
    counted_terms_ += terms;
    counted_term_bytes_ += bytes;
    return terms;
  }

  host::WordSegmenter segmenter_;
  size_t segmented_ = 0;
  double sampled_bytes_ = 0;
  double terms_ = 0;
  double term_bytes_ = 0;
  double counted_terms_ = 0;
  double counted_term_bytes_ = 0;
  double last_distinct_ = -1;
};

// Pairs of one record whose sources hold `terms` terms each: within the one
// source, or across every two.
double RecordPairs(const std::vector<double>& terms, bool within) {
  if (within) return terms.empty() ? 0 : terms[0] * std::max(0.0, terms[0] - 1) / 2;
  double sum = 0;
  double squares = 0;
  for (double n : terms) {
    sum += n;
    squares += n * n;
  }
  return (sum * sum - squares) / 2;
}

// Adds one record: its pair occurrences, and the distinct pairs it can add
// to a spill (no more than its distinct terms can form, where known).
void AddRecord(const std::vector<double>& terms, const std::vector<double>& distinct,
               bool within, PairEstimate* estimate) {
  const double pairs = RecordPairs(terms, within);
  std::vector<double> kinds(terms.size());
  for (size_t i = 0; i < terms.size(); ++i) kinds[i] = distinct[i] >= 0 ? distinct[i] : terms[i];
  // Ordered pairs: a pair of distinct terms may come in both orders.
  const double distinct_pairs = within ? (kinds.empty() ? 0 : kinds[0] * kinds[0])
                                       : RecordPairs(kinds, false) * 2;
  estimate->records += 1;
  estimate->pairs += pairs;
  estimate->spilled_pairs += std::min(pairs, distinct_pairs);
}

void FinishEstimate(const TermCounter& counter, PairEstimate* estimate) {
  // A spill or merge line: two terms, the count and three separators; the
  // spill files and the merged file may stand side by side.
  const double line = 2 * counter.average_term_bytes() + 8;
  estimate->temp_bytes = estimate->spilled_pairs * line * 2;
}

}  // namespace

PairEstimate EstimateFilePairs(const std::vector<InputFile>& files, bool single_named_file) {
  TermCounter counter;
  std::vector<double> terms;
  std::vector<double> distinct;
  for (const InputFile& file : files) {
    std::ifstream in(file.path, std::ios::binary);
    std::string sample(std::min<uint64_t>(file.size, kSampleBytes), '\0');
    in.read(sample.data(), static_cast<std::streamsize>(sample.size()));
    sample.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
    terms.push_back(counter.Normal(sample, static_cast<size_t>(file.size)));
    distinct.push_back(counter.last_distinct());
  }
  PairEstimate estimate;
  AddRecord(terms, distinct, single_named_file, &estimate);
  FinishEstimate(counter, &estimate);
  return estimate;
}

bool EstimateQueryPairs(host::Database* db, const StatCommand& command, PairEstimate* estimate,
                        std::string* error) {
  host::TextCodec codec;
  std::string sql;
  if (!codec.Gb18030ToUtf8(command.query, &sql)) {
    *error = "the query is not GB18030 text";
    return false;
  }
  host::Statement stmt;
  if (!db->Prepare(sql, &stmt) || !stmt.ReadOnly()) {
    *error = db->error();
    return false;
  }
  struct Field {
    int column = -1;
    int mode = 0;
    std::string delimiters;
  };
  std::vector<Field> fields;
  for (const FieldSource& source : command.fields) {
    Field field;
    field.mode = source.mode;
    field.delimiters = source.delimiters;
    std::string name;
    codec.Gb18030ToUtf8(source.name, &name);
    for (int i = 0; i < stmt.ColumnCount(); ++i) {
      if (host::SameName(stmt.ColumnName(i), name)) field.column = i;
    }
    if (field.column < 0) {
      *error = "the query has no column " + name;
      return false;
    }
    fields.push_back(std::move(field));
  }
  TermCounter counter;
  std::vector<double> terms(fields.size());
  std::vector<double> distinct(fields.size());
  *estimate = PairEstimate{};
  for (bool row = true;;) {
    if (!stmt.Step(&row)) {
      *error = db->error();
      return false;
    }
    if (!row) break;
    for (size_t f = 0; f < fields.size(); ++f) {
      const std::string value = stmt.ColumnBytes(fields[f].column);
      terms[f] = fields[f].mode == 2
                     ? counter.Normal(value, value.size())
                     : counter.Cut(codec.Utf8ToGb18030Replacing(value), fields[f].mode,
                                   fields[f].delimiters);
      distinct[f] = counter.last_distinct();
    }
    AddRecord(terms, distinct, fields.size() == 1, estimate);
  }
  FinishEstimate(counter, estimate);
  return true;
}

double WorkBytes(const PairEstimate& estimate, bool to_table) {
  constexpr double kLoadBytesPerPair = 116;
  return estimate.temp_bytes + (to_table ? estimate.spilled_pairs * kLoadBytesPerPair : 0);
}

std::string FormatBytes(double bytes) {
  char text[32];
  if (bytes >= 1e9) {
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  } else if (bytes >= 1e6) {
    std::snprintf(text, sizeof text, "%.0f MB", bytes / 1e6);
  } else if (bytes >= 1e3) {
    std::snprintf(text, sizeof text, "%.0f kB", bytes / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f bytes", bytes);
  }
  return text;
}

std::string FormatCount(double count) {
  char text[32];
  if (count >= 1e9) {
    std::snprintf(text, sizeof text, "%.1f billion", count / 1e9);
  } else if (count >= 1e6) {
    std::snprintf(text, sizeof text, "%.1f million", count / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.0f", count);
  }
  return text;
}

}  // namespace vocs::cli
