// Association measures of two terms of a co-occurrence result: pointwise
// mutual information, log-likelihood (G²), t-score and Dice, computed
// exactly from counts. docs/measures.md gives the definitions with their
// references and a worked example.
//
// The counts form a 2x2 contingency table over the term places of all pair
// occurrences of a run: every pair occurrence has two places, one per term,
// and each place has the other one as its partner. For the terms x and y:
//
//                      partner holds y    partner holds another term
//   place holds x           O11                 O12                  | N1
//   place holds another     O21                 O22                  |
//                           N2                                       | N
//
// N1 and N2 are the participation counts of x and y (how many places each
// fills), N is their total over all terms (twice the number of pair
// occurrences), and O11 counts both orders: c(x,y) + c(y,x) places for two
// different terms, 2 c(x,x) for a term with itself (both places of every
// such occurrence hold x with x as partner). The table is then exact: no
// cell is negative, and the other cells follow from O11, N1, N2 and N. The
// expected counts are those of independence, Eij = Ri Cj / N.
//
// Plain functions; any thread.
#ifndef VOCS_CLI_ASSOCIATION_H_
#define VOCS_CLI_ASSOCIATION_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace vocs::cli {

struct Contingency {
  int64_t o11 = 0;  // places holding x whose partner holds y
  int64_t n1 = 0;   // places holding x
  int64_t n2 = 0;   // places whose partner holds y: the places holding y
  int64_t n = 0;    // all places
};

// The table of the pair counts: `together` is c(x,y) + c(y,x) for two
// different terms and c(x,x) for a term with itself (`same_term`).
Contingency PairContingency(int64_t together, bool same_term, int64_t n1, int64_t n2, int64_t n);

struct Association {
  double pmi = 0;             // log2(O11 / E11)
  double log_likelihood = 0;  // G² = 2 Σ Oij ln(Oij / Eij), negative when O11 < E11
  double t_score = 0;         // (O11 - E11) / sqrt(O11)
  double dice = 0;            // 2 O11 / (N1 + N2)
};

// The measures of a table with O11 >= 1. Nothing when the counts cannot form
// a table (a cell below zero: counts of different runs, or a result that
// leaves out pairs).
std::optional<Association> Associate(const Contingency& table);

// The measures by which pairs are ranked, and the count itself.
enum class Measure { kCount, kPmi, kLogLikelihood, kTScore, kDice };

// "count", "pmi", "g2" (also "ll", "log-likelihood"), "t" (also "t-score"),
// "dice"; letter case is ignored.
bool ParseMeasure(std::string_view name, Measure* out);
// The short name people know the measure by: "count", "PMI", "G²", "t", "Dice".
const char* MeasureLabel(Measure measure);
// The name ParseMeasure takes: "count", "pmi", "g2", "t", "dice".
const char* MeasureKey(Measure measure);

}  // namespace vocs::cli

#endif  // VOCS_CLI_ASSOCIATION_H_
