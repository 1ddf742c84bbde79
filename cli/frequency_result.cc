#include "cli/frequency_result.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "text/fixed_format.h"

namespace vocs::cli {

namespace {

// Whether `records` gives the row its average and its 最小值.
bool Fits(const TermStats& t, int64_t records) {
  char text[40];
  int64_t average = -1;
  ParseFixed4(FormatFixed4(static_cast<double>(t.frequency) / static_cast<double>(records), text),
              &average);
  if (average != t.average) return false;
  return t.records == records ? t.min == t.hypomin : t.min == 0;
}

// Beyond this many candidates the range is given as found, unchecked.
constexpr int64_t kMaxCandidates = 1000;

}  // namespace

bool FrequencyResult::Read(ResultReader* reader, std::string* error) {
  origin_ = reader->origin();
  if (reader->kind() != ResultKind::kFrequency) {
    *error = reader->origin() + " is not a term frequency result (its first column is not 词条名称)";
    return false;
  }
  std::vector<std::string_view> cells;
  while (reader->Next(&cells)) {
    TermStats t;
    if (cells.size() < 2 || !ParseCount(cells[1], &t.frequency)) {
      ++unreadable_rows_;
      continue;
    }
    t.term.assign(cells[0]);
    if (cells.size() < 7 || !ParseCount(cells[2], &t.records) || !ParseCount(cells[3], &t.max) ||
        !ParseCount(cells[4], &t.hypomin) || !ParseCount(cells[5], &t.min) ||
        !ParseFixed4(cells[6], &t.average)) {
      t.records = t.max = t.hypomin = t.min = t.average = -1;
      has_records_ = false;
    }
    // A run's occurrences fit 64 bits; a file whose rows add up past them
    // was not written by one, and its total would be undefined.
    if (t.frequency > std::numeric_limits<int64_t>::max() - total_frequency_) {
      *error = reader->origin() + ": the frequencies add up to more than " +
               std::to_string(std::numeric_limits<int64_t>::max()) + " by row " +
               std::to_string(terms_.size() + unreadable_rows_ + 1) +
               "; it is not a result of a run";
      return false;
    }
    total_frequency_ += t.frequency;
    terms_.push_back(std::move(t));
  }
  if (!reader->error().empty()) {
    *error = reader->error();
    return false;
  }
  if (terms_.empty()) has_records_ = false;
  return true;
}

RecordCountRange DeriveRecordCount(const std::vector<TermStats>& terms) {
  // Every row bounds the number: it is at least the row's record count, and
  // frequency / number lies within half a ten-thousandth of the average.
  double low = 1;
  double high = std::numeric_limits<double>::infinity();
  for (const TermStats& t : terms) {
    if (t.average < 0 || t.records < 0) return {};
    low = std::max(low, static_cast<double>(t.records));
    if (t.min > 0) high = std::min(high, static_cast<double>(t.records));
    const double scaled = static_cast<double>(t.frequency) * 10000;
    low = std::max(low, scaled / (static_cast<double>(t.average) + 0.5));
    if (t.average > 0) high = std::min(high, scaled / (static_cast<double>(t.average) - 0.5));
  }
  if (terms.empty() || !std::isfinite(high) || high < low - 1) return {};
  // One either side for the rounding of the bounds; the rows decide.
  const int64_t first = std::max<int64_t>(1, static_cast<int64_t>(std::floor(low)) - 1);
  const int64_t last = static_cast<int64_t>(std::ceil(high)) + 1;
  if (last - first >= kMaxCandidates) return {first, last};
  // Rows of high frequency refuse most wrong numbers; try them first.
  std::vector<const TermStats*> order;
  order.reserve(terms.size());
  for (const TermStats& t : terms) order.push_back(&t);
  std::sort(order.begin(), order.end(),
            [](const TermStats* a, const TermStats* b) { return a->frequency > b->frequency; });
  RecordCountRange range;
  for (int64_t records = first; records <= last; ++records) {
    const bool fits = std::all_of(order.begin(), order.end(),
                                  [records](const TermStats* t) { return Fits(*t, records); });
    if (!fits) continue;
    if (range.low == 0) range.low = records;
    range.high = records;
  }
  return range;
}

ZipfFit FitZipf(const std::vector<int64_t>& frequencies) {
  ZipfFit fit;
  std::vector<double> xs;
  std::vector<double> ys;
  for (size_t i = 0; i < frequencies.size();) {
    size_t j = i;
    while (j < frequencies.size() && frequencies[j] == frequencies[i]) ++j;
    if (frequencies[i] < 2) break;
    // Ranks i+1 to j share this frequency.
    xs.push_back(std::log10((static_cast<double>(i + 1) + static_cast<double>(j)) / 2));
    ys.push_back(std::log10(static_cast<double>(frequencies[i])));
    if (fit.first_rank == 0) {
      fit.first_rank = static_cast<int64_t>(i + 1);
      fit.highest_frequency = frequencies[i];
    }
    fit.last_rank = static_cast<int64_t>(j);
    fit.lowest_frequency = frequencies[i];
    i = j;
  }
  fit.points = xs.size();
  if (xs.size() < 3) return fit;
  const double n = static_cast<double>(xs.size());
  double mean_x = 0;
  double mean_y = 0;
  for (size_t k = 0; k < xs.size(); ++k) {
    mean_x += xs[k] / n;
    mean_y += ys[k] / n;
  }
  double sxx = 0;
  double sxy = 0;
  double syy = 0;
  for (size_t k = 0; k < xs.size(); ++k) {
    sxx += (xs[k] - mean_x) * (xs[k] - mean_x);
    sxy += (xs[k] - mean_x) * (ys[k] - mean_y);
    syy += (ys[k] - mean_y) * (ys[k] - mean_y);
  }
  if (sxx <= 0) return fit;
  const double slope = sxy / sxx;
  fit.fitted = true;
  fit.exponent = -slope;
  fit.intercept = mean_y - slope * mean_x;
  fit.r_squared = syy > 0 ? sxy * sxy / (sxx * syy) : 1;
  return fit;
}

double EvenlySpreadRecords(int64_t frequency, double records) {
  if (frequency <= 0) return 0;
  if (records <= 1) return 1;
  return records * -std::expm1(static_cast<double>(frequency) * std::log1p(-1 / records));
}

}  // namespace vocs::cli
