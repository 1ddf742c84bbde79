#include "cli/association.h"

#include <algorithm>
#include <cmath>

#include "host/host_statement.h"

namespace vocs::cli {

namespace {

// O ln(O / E), 0 for an empty cell.
double Term(double observed, double expected) {
  return observed > 0 ? observed * std::log(observed / expected) : 0.0;
}

}  // namespace

Contingency PairContingency(int64_t together, bool same_term, int64_t n1, int64_t n2, int64_t n) {
  return Contingency{same_term ? 2 * together : together, n1, n2, n};
}

std::optional<Association> Associate(const Contingency& t) {
  const int64_t o12 = t.n1 - t.o11;
  const int64_t o21 = t.n2 - t.o11;
  const int64_t o22 = t.n - t.n1 - t.n2 + t.o11;
  if (t.o11 < 1 || o12 < 0 || o21 < 0 || o22 < 0) return std::nullopt;
  const double n = static_cast<double>(t.n);
  const double r1 = static_cast<double>(t.n1);
  const double c1 = static_cast<double>(t.n2);
  const double r2 = n - r1;
  const double c2 = n - c1;
  const double o11 = static_cast<double>(t.o11);
  const double e11 = r1 * c1 / n;
  Association a;
  a.pmi = std::log2(o11 / e11);
  // Each cell's expected count is positive whenever its observed count is:
  // an observed place lies in both of its margins.
  const double g2 = 2 * (Term(o11, e11) + Term(static_cast<double>(o12), r1 * c2 / n) +
                         Term(static_cast<double>(o21), r2 * c1 / n) +
                         Term(static_cast<double>(o22), r2 * c2 / n));
  // Rounding can leave a tiny negative sum for a table at independence.
  a.log_likelihood = std::copysign(std::max(g2, 0.0), o11 - e11);
  a.t_score = (o11 - e11) / std::sqrt(o11);
  a.dice = 2 * o11 / (r1 + c1);
  return a;
}

bool ParseMeasure(std::string_view name, Measure* out) {
  struct Name {
    const char* text;
    Measure measure;
  };
  static constexpr Name kNames[] = {
      {"count", Measure::kCount},        {"pmi", Measure::kPmi},
      {"g2", Measure::kLogLikelihood},   {"ll", Measure::kLogLikelihood},
      {"log-likelihood", Measure::kLogLikelihood},
      {"t", Measure::kTScore},           {"t-score", Measure::kTScore},
      {"dice", Measure::kDice},
  };
  for (const Name& candidate : kNames) {
    if (host::SameName(name, candidate.text)) {
      *out = candidate.measure;
      return true;
    }
  }
  return false;
}

const char* MeasureLabel(Measure measure) {
  switch (measure) {
    case Measure::kCount: return "count";
    case Measure::kPmi: return "PMI";
    case Measure::kLogLikelihood: return "G²";
    case Measure::kTScore: return "t";
    case Measure::kDice: return "Dice";
  }
  return "";
}

const char* MeasureKey(Measure measure) {
  switch (measure) {
    case Measure::kCount: return "count";
    case Measure::kPmi: return "pmi";
    case Measure::kLogLikelihood: return "g2";
    case Measure::kTScore: return "t";
    case Measure::kDice: return "dice";
  }
  return "";
}

}  // namespace vocs::cli
