// Association measures against values worked out by hand, and the pairs of
// a co-occurrence result they are computed for: participation counts derived
// from the result, checked against its printed support values, and refused
// when the result leaves pairs out.
//
// The small run behind every test here (docs/measures.md works it through),
// records cut at "/":
//   moon/wine/lake    -> (moon,wine) (moon,lake) (wine,lake)
//   moon/wine         -> (moon,wine)
//   moon/moon         -> (moon,moon)
//   lake/boat         -> (lake,boat)
// Participation counts: moon 5 (twice for its pair with itself), wine 3,
// lake 3, boat 1; N = 12 places (6 pair occurrences).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "cli/association.h"
#include "cli/pair_result.h"

namespace vocs::cli {
namespace {

constexpr double kClose = 1e-9;

TEST(AssociationTest, MeasuresOfTwoTermsMatchTheHandWorkedTable) {
  // moon, wine: O11 = 2, N1 = 5, N2 = 3, N = 12; E11 = 15/12 = 1.25.
  // O12 = 3, O21 = 1, O22 = 6; E12 = 3.75, E21 = 1.75, E22 = 5.25.
  const auto a = Associate(PairContingency(2, false, 5, 3, 12));
  ASSERT_TRUE(a.has_value());
  EXPECT_NEAR(a->pmi, 0.6780719051126377, kClose);  // log2(1.6)
  // 2 (2 ln 1.6 + 3 ln 0.8 + ln(1/1.75) + 6 ln(6/5.25))
  EXPECT_NEAR(a->log_likelihood, 1.0242983447211096, kClose);
  EXPECT_NEAR(a->t_score, 0.75 / std::sqrt(2.0), kClose);
  EXPECT_DOUBLE_EQ(a->dice, 0.5);  // 4 / 8

  // lake, boat: O11 = 1, N1 = 3, N2 = 1; E11 = 0.25: four times chance.
  const auto b = Associate(PairContingency(1, false, 3, 1, 12));
  ASSERT_TRUE(b.has_value());
  EXPECT_NEAR(b->pmi, 2.0, kClose);
  // O21 = 0 drops out: 2 (ln 4 + 2 ln(2/2.75) + 9 ln(9/8.25)).
  EXPECT_NEAR(b->log_likelihood, 3.064978583578977, kClose);
  EXPECT_NEAR(b->t_score, 0.75, kClose);
  EXPECT_DOUBLE_EQ(b->dice, 0.5);

  // moon, lake: below chance (O11 = 1, E11 = 1.25): every signed measure is
  // negative, G² included.
  const auto c = Associate(PairContingency(1, false, 5, 3, 12));
  ASSERT_TRUE(c.has_value());
  EXPECT_NEAR(c->pmi, std::log2(0.8), kClose);
  EXPECT_NEAR(c->log_likelihood, -0.11624499527591964, kClose);
  EXPECT_NEAR(c->t_score, -0.25, kClose);
  EXPECT_DOUBLE_EQ(c->dice, 0.25);
}

TEST(AssociationTest, ATermWithItselfFillsBothPlacesOfEachOccurrence) {
  // (moon, moon) once: O11 = 2 places, N1 = N2 = 5; E11 = 25/12.
  const Contingency table = PairContingency(1, true, 5, 5, 12);
  EXPECT_EQ(table.o11, 2);
  const auto a = Associate(table);
  ASSERT_TRUE(a.has_value());
  EXPECT_NEAR(a->pmi, std::log2(0.96), kClose);
  // O12 = O21 = 3, O22 = 4: 2 (2 ln 0.96 + 6 ln(36/35) + 4 ln(48/49)), signed
  // negative because O11 < E11.
  EXPECT_NEAR(a->log_likelihood, -0.009808247897451855, kClose);
  EXPECT_NEAR(a->t_score, (2 - 25.0 / 12) / std::sqrt(2.0), kClose);
  EXPECT_DOUBLE_EQ(a->dice, 0.4);  // 4 / 10

  // A term that occurs only with itself: every place is in the one cell.
  const auto only = Associate(PairContingency(3, true, 6, 6, 6));
  ASSERT_TRUE(only.has_value());
  EXPECT_DOUBLE_EQ(only->pmi, 0);
  EXPECT_DOUBLE_EQ(only->log_likelihood, 0);
  EXPECT_DOUBLE_EQ(only->dice, 1);
}

TEST(AssociationTest, CountsThatCannotFormATableAreRefused) {
  EXPECT_FALSE(Associate(PairContingency(0, false, 5, 3, 12)));  // never together
  EXPECT_FALSE(Associate(PairContingency(4, false, 3, 5, 12)));   // more than term 1 fills
  EXPECT_FALSE(Associate(PairContingency(2, true, 3, 3, 12)));    // 4 places of 3
  EXPECT_FALSE(Associate(PairContingency(2, false, 9, 9, 12)));   // O22 = -4
}

TEST(AssociationTest, MeasureNames) {
  Measure m = Measure::kCount;
  for (const auto& [name, expected] : std::initializer_list<std::pair<const char*, Measure>>{
           {"pmi", Measure::kPmi}, {"G2", Measure::kLogLikelihood},
           {"log-likelihood", Measure::kLogLikelihood}, {"T-Score", Measure::kTScore},
           {"dice", Measure::kDice}, {"count", Measure::kCount}}) {
    ASSERT_TRUE(ParseMeasure(name, &m)) << name;
    EXPECT_EQ(m, expected) << name;
    Measure again = Measure::kCount;
    ASSERT_TRUE(ParseMeasure(MeasureKey(m), &again));
    EXPECT_EQ(again, m);
  }
  EXPECT_FALSE(ParseMeasure("chi2", &m));
  EXPECT_FALSE(ParseMeasure("", &m));
}

// The rows the run above delivers, with the values the engine prints.
void AddRunRows(PairResult* result, bool leave_out_wine_lake = false) {
  result->AddRow("lake", "boat", 1, {333333, 1000000, 83333});
  result->AddRow("moon", "lake", 1, {200000, 333333, 83333});
  result->AddRow("moon", "moon", 1, {200000, 200000, 83333});
  result->AddRow("moon", "wine", 2, {400000, 666667, 166667});
  if (!leave_out_wine_lake) result->AddRow("wine", "lake", 1, {333333, 333333, 83333});
}

TEST(PairResultTest, ParticipationCountsDerivedFromACompleteResultAreTheRunsOwn) {
  PairResult result;
  AddRunRows(&result);
  const DerivedTermCounts counts(result);
  EXPECT_EQ(counts.Count("moon"), 5);
  EXPECT_EQ(counts.Count("wine"), 3);
  EXPECT_EQ(counts.Count("lake"), 3);
  EXPECT_EQ(counts.Count("boat"), 1);
  EXPECT_EQ(counts.Count("star"), 0);
  EXPECT_EQ(counts.Total(), 12);
  std::string reason;
  EXPECT_TRUE(VerifyTermCounts(result, counts, &reason)) << reason;

  std::vector<ScoredPair> pairs = CombineOrders(result);
  ASSERT_TRUE(MeasurePairs(result, counts, &pairs, &reason)) << reason;
  RankPairs(result, Measure::kLogLikelihood, &pairs);
  ASSERT_EQ(pairs.size(), 5u);
  EXPECT_EQ(result.Term(pairs[0].term1), "lake");
  EXPECT_EQ(result.Term(pairs[0].term2), "boat");
  EXPECT_NEAR(pairs[0].measures.log_likelihood, 3.064978583578977, kClose);
  EXPECT_EQ(result.Term(pairs[1].term1), "moon");
  EXPECT_EQ(result.Term(pairs[1].term2), "wine");
  EXPECT_EQ(pairs[1].n1, 5);
  EXPECT_EQ(pairs[1].n2, 3);
  // The pair with itself ranks by its own table, not by twice a count.
  const auto self = std::find_if(pairs.begin(), pairs.end(), [&](const ScoredPair& p) {
    return p.term1 == p.term2;
  });
  ASSERT_NE(self, pairs.end());
  EXPECT_EQ(self->together(), 1);
  EXPECT_NEAR(self->measures.dice, 0.4, kClose);
  // Below chance, last by G².
  EXPECT_EQ(result.Term(pairs[4].term2), "lake");
  EXPECT_LT(pairs[4].measures.log_likelihood, 0);
}

TEST(PairResultTest, BothOrdersOfTwoTermsBecomeOnePair) {
  PairResult result;
  const int32_t unread[3] = {-1, -1, -1};
  result.AddRow("wine", "moon", 1, unread);
  result.AddRow("moon", "wine", 3, unread);
  result.AddRow("moon", "moon", 2, unread);
  std::vector<ScoredPair> pairs = CombineOrders(result);
  ASSERT_EQ(pairs.size(), 2u);
  // The more frequent order first.
  EXPECT_EQ(result.Term(pairs[0].term1), "moon");
  EXPECT_EQ(result.Term(pairs[0].term2), "wine");
  EXPECT_EQ(pairs[0].count, 3);
  EXPECT_EQ(pairs[0].reverse, 1);
  EXPECT_EQ(pairs[1].together(), 2);
  EXPECT_EQ(pairs[1].reverse, 0);
}

TEST(PairResultTest, AResultThatLeavesPairsOutIsNotMeasured) {
  // As MINFREQ would: without (wine, lake), the sums fall short of the counts
  // the run divided by, and the printed supports say so.
  PairResult result;
  AddRunRows(&result, /*leave_out_wine_lake=*/true);
  const DerivedTermCounts counts(result);
  std::string reason;
  EXPECT_FALSE(VerifyTermCounts(result, counts, &reason));
  EXPECT_NE(reason.find("(lake, boat)"), std::string::npos) << reason;
  EXPECT_NE(reason.find("33.3333"), std::string::npos) << reason;
  EXPECT_NE(reason.find("50.0000"), std::string::npos) << reason;

  // A changed count is caught as well, and so is a row whose values did not
  // read.
  PairResult changed;
  AddRunRows(&changed);
  changed.AddRow("wine", "wine", 1, {-1, -1, -1});
  EXPECT_FALSE(VerifyTermCounts(changed, DerivedTermCounts(changed), &reason));
}

// Counts from somewhere else than the result: the interface a run's own
// record of them plugs into.
class FixedCounts : public TermCountSource {
 public:
  FixedCounts(std::map<std::string, int64_t, std::less<>> counts, int64_t total)
      : counts_(std::move(counts)), total_(total) {}
  int64_t Count(std::string_view term) const override {
    const auto found = counts_.find(term);
    return found == counts_.end() ? 0 : found->second;
  }
  int64_t Total() const override { return total_; }
  std::string Origin() const override { return "given"; }

 private:
  std::map<std::string, int64_t, std::less<>> counts_;
  int64_t total_;
};

TEST(PairResultTest, CountsFromAnotherSourceMeasureAPartOfTheResult) {
  // The run's own counts make the part with (wine, lake) left out exact.
  PairResult part;
  AddRunRows(&part, /*leave_out_wine_lake=*/true);
  const FixedCounts own({{"moon", 5}, {"wine", 3}, {"lake", 3}, {"boat", 1}}, 12);
  std::string reason;
  EXPECT_TRUE(VerifyTermCounts(part, own, &reason)) << reason;
  std::vector<ScoredPair> pairs = CombineOrders(part);
  ASSERT_TRUE(MeasurePairs(part, own, &pairs, &reason)) << reason;
  RankPairs(part, Measure::kPmi, &pairs);
  EXPECT_EQ(part.Term(pairs[0].term2), "boat");
  EXPECT_NEAR(pairs[0].measures.pmi, 2.0, kClose);

  // Counts of another run are refused.
  const FixedCounts other({{"moon", 5}, {"wine", 3}, {"lake", 3}, {"boat", 1}}, 14);
  EXPECT_FALSE(VerifyTermCounts(part, other, &reason));
  EXPECT_NE(reason.find("置信度"), std::string::npos) << reason;
}

}  // namespace
}  // namespace vocs::cli
