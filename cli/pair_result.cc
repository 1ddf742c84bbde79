#include "cli/pair_result.h"

#include <algorithm>
#include <cstdio>

#include "cooc/pair_values.h"

namespace vocs::cli {

namespace {

constexpr const char* kValueNames[3] = {"支持度1", "支持度2", "置信度"};

std::string Fixed4Text(int64_t ten_thousandths) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%04lld",
                static_cast<long long>(ten_thousandths / 10000),
                static_cast<long long>(ten_thousandths % 10000));
  return text;
}

}  // namespace

bool PairResult::Read(ResultReader* reader, std::string* error) {
  origin_ = reader->origin();
  if (reader->kind() != ResultKind::kCooccurrence) {
    *error = reader->origin() + " is not a co-occurrence result (its first column is not 词条1名称)";
    return false;
  }
  std::vector<std::string_view> cells;
  while (reader->Next(&cells)) {
    int64_t count = 0;
    if (cells.size() < 3 || !ParseCount(cells[2], &count)) {
      ++unreadable_rows_;
      continue;
    }
    int32_t values[3] = {-1, -1, -1};
    for (size_t i = 0; i < 3 && 3 + i < cells.size(); ++i) {
      int64_t value = 0;
      if (ParseFixed4(cells[3 + i], &value) && value <= 1000000) {
        values[i] = static_cast<int32_t>(value);
      }
    }
    if (count > kMaxTotalCount - total_count_) {
      *error = reader->origin() + ": the pair counts add up to more than " +
               std::to_string(kMaxTotalCount) + " by row " +
               std::to_string(rows_.size() + unreadable_rows_ + 1) +
               "; it is not a result of a run";
      return false;
    }
    AddRow(cells[0], cells[1], count, values);
  }
  if (!reader->error().empty()) {
    *error = reader->error();
    return false;
  }
  return true;
}

void PairResult::AddRow(std::string_view term1, std::string_view term2, int64_t count,
                        const int32_t (&values)[3]) {
  PairRow row;
  row.term1 = Intern(term1);
  row.term2 = Intern(term2);
  row.count = count;
  std::copy(std::begin(values), std::end(values), row.values);
  rows_.push_back(row);
  total_count_ += count;
}

uint32_t PairResult::Intern(std::string_view term) {
  const auto found = ids_.find(term);
  if (found != ids_.end()) return found->second;
  const uint32_t id = static_cast<uint32_t>(terms_.size());
  terms_.emplace_back(term);
  ids_.emplace(terms_.back(), id);
  return id;
}

uint32_t PairResult::Find(std::string_view term) const {
  const auto found = ids_.find(term);
  return found == ids_.end() ? kNoTerm : found->second;
}

DerivedTermCounts::DerivedTermCounts(const PairResult& result)
    : result_(result), counts_(result.term_count(), 0) {
  for (const PairRow& row : result.rows()) {
    counts_[row.term1] += row.count;
    counts_[row.term2] += row.count;
    total_ += 2 * row.count;
  }
}

int64_t DerivedTermCounts::Count(std::string_view term) const {
  const uint32_t id = result_.Find(term);
  return id == PairResult::kNoTerm ? 0 : counts_[id];
}

std::string DerivedTermCounts::Origin() const {
  return "derived from the " + std::to_string(result_.rows().size()) + " pairs of the result";
}

bool VerifyTermCounts(const PairResult& result, const TermCountSource& counts,
                      std::string* reason) {
  if (result.unreadable_rows() > 0) {
    *reason = std::to_string(result.unreadable_rows()) + " rows of " + result.origin() +
              " could not be read, so the counts of its terms are not known";
    return false;
  }
  std::vector<int64_t> by_id(result.term_count());
  for (uint32_t id = 0; id < by_id.size(); ++id) by_id[id] = counts.Count(result.Term(id));
  const int64_t total = counts.Total();
  size_t line = 1;
  for (const PairRow& row : result.rows()) {
    ++line;
    const int64_t bases[3] = {by_id[row.term1], by_id[row.term2], total};
    constexpr PairValue kValues[3] = {PairValue::kSupport1, PairValue::kSupport2,
                                      PairValue::kReliability};
    for (int i = 0; i < 3; ++i) {
      char text[40];
      int64_t expected = -1;
      if (bases[i] > 0) ParseFixed4(FormatPairValue(kValues[i], row.count, bases[i], text), &expected);
      if (expected == row.values[i]) continue;
      *reason = "the counts " + counts.Origin() + " do not give row " + std::to_string(line - 1) +
                " (" + std::string(result.Term(row.term1)) + ", " +
                std::string(result.Term(row.term2)) + ") its " + kValueNames[i] + " of " +
                (row.values[i] < 0 ? std::string("(unreadable)") : Fixed4Text(row.values[i])) +
                " but " + (expected < 0 ? std::string("none") : Fixed4Text(expected)) +
                ": the result leaves out pairs of its run (made with MINFREQ above 1?) or was "
                "changed since";
      return false;
    }
  }
  return true;
}

std::vector<ScoredPair> CombineOrders(const PairResult& result) {
  std::vector<ScoredPair> pairs;
  // Each two terms once, under the key of their ids in ascending order.
  std::unordered_map<uint64_t, size_t> index;
  index.reserve(result.rows().size());
  for (const PairRow& row : result.rows()) {
    const uint32_t low = std::min(row.term1, row.term2);
    const uint32_t high = std::max(row.term1, row.term2);
    const auto [it, added] = index.try_emplace(uint64_t{low} << 32 | high, pairs.size());
    if (added) {
      ScoredPair pair;
      pair.term1 = row.term1;
      pair.term2 = row.term2;
      pair.count = row.count;
      pairs.push_back(pair);
    } else {
      pairs[it->second].reverse += row.count;
    }
  }
  for (ScoredPair& pair : pairs) {
    if (pair.reverse > pair.count) {
      std::swap(pair.term1, pair.term2);
      std::swap(pair.count, pair.reverse);
    }
  }
  return pairs;
}

bool MeasurePairs(const PairResult& result, const TermCountSource& counts,
                  std::vector<ScoredPair>* pairs, std::string* error) {
  std::vector<int64_t> by_id(result.term_count());
  for (uint32_t id = 0; id < by_id.size(); ++id) by_id[id] = counts.Count(result.Term(id));
  const int64_t total = counts.Total();
  for (ScoredPair& pair : *pairs) {
    pair.n1 = by_id[pair.term1];
    pair.n2 = by_id[pair.term2];
    const auto measures = Associate(
        PairContingency(pair.together(), pair.term1 == pair.term2, pair.n1, pair.n2, total));
    if (!measures) {
      *error = "the counts " + counts.Origin() + " cannot hold the pair (" +
               std::string(result.Term(pair.term1)) + ", " +
               std::string(result.Term(pair.term2)) + ") with its count of " +
               std::to_string(pair.together());
      return false;
    }
    pair.measures = *measures;
  }
  return true;
}

double MeasureOf(const ScoredPair& pair, Measure measure) {
  switch (measure) {
    case Measure::kCount: return static_cast<double>(pair.together());
    case Measure::kPmi: return pair.measures.pmi;
    case Measure::kLogLikelihood: return pair.measures.log_likelihood;
    case Measure::kTScore: return pair.measures.t_score;
    case Measure::kDice: return pair.measures.dice;
  }
  return 0;
}

bool RanksBefore(const PairResult& result, Measure measure, const ScoredPair& a,
                 const ScoredPair& b) {
  const double ma = MeasureOf(a, measure);
  const double mb = MeasureOf(b, measure);
  if (ma != mb) return ma > mb;
  if (a.together() != b.together()) return a.together() > b.together();
  if (a.term1 != b.term1) return result.Term(a.term1) < result.Term(b.term1);
  return result.Term(a.term2) < result.Term(b.term2);
}

void RankPairs(const PairResult& result, Measure measure, std::vector<ScoredPair>* pairs) {
  std::sort(pairs->begin(), pairs->end(), [&](const ScoredPair& a, const ScoredPair& b) {
    return RanksBefore(result, measure, a, b);
  });
}

}  // namespace vocs::cli
