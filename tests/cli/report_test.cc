// What a report computes (the Zipf fit, the number of records, the even
// spread), the JSON it embeds, and the built command end to end: `vocs show
// --measure` and `vocs report` over results of real runs, from files and
// tables, and what both do with results they cannot measure or read.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "cli/frequency_result.h"
#include "cli/json_writer.h"
#include "cli_test_util.h"

namespace vocs::cli {
namespace {

using testing::CommandHome;
using testing::ReadWholeFile;

TEST(JsonWriterTest, WritesNestedValuesAndEscapesWhatCouldEndTheScriptElement) {
  JsonWriter w;
  w.BeginObject();
  w.Key("a");
  w.BeginArray();
  w.Integer(-3);
  w.Number(0.1);
  w.Number(std::numeric_limits<double>::quiet_NaN());
  w.Bool(true);
  w.Null();
  w.BeginArray();
  w.EndArray();
  w.EndArray();
  w.Key("s");
  // A corpus term that tries to close the element, a line separator (a line
  // end to older JavaScript), a control character and a byte that is not
  // UTF-8; Chinese text passes as it is.
  w.String("x</script><b>&\"\\\x01\xE2\x80\xA8\xFF明月");
  w.EndObject();
  EXPECT_EQ(w.text(),
            "{\"a\":[-3,0.1,null,true,null,[]],"
            "\"s\":\"x\\u003c/script\\u003e\\u003cb\\u003e\\u0026\\\"\\\\\\u0001\\u2028\\ufffd明月\"}");
}

TEST(FrequencyResultTest, ZipfFitOfAnExactPowerLawOverItsRange) {
  // f = 720 / r for ranks 1 to 6, then three terms seen once, which the fit
  // leaves out.
  const ZipfFit fit = FitZipf({720, 360, 240, 180, 144, 120, 1, 1, 1});
  ASSERT_TRUE(fit.fitted);
  EXPECT_NEAR(fit.exponent, 1.0, 1e-12);
  EXPECT_NEAR(fit.intercept, std::log10(720.0), 1e-12);
  EXPECT_NEAR(fit.r_squared, 1.0, 1e-12);
  EXPECT_EQ(fit.first_rank, 1);
  EXPECT_EQ(fit.last_rank, 6);
  EXPECT_EQ(fit.highest_frequency, 720);
  EXPECT_EQ(fit.lowest_frequency, 120);
  EXPECT_EQ(fit.points, 6u);

  // Ranks of one frequency make one point at their middle: 8 at rank 1, 4
  // at ranks 2 to 5 (3.5), 2 at rank 6. log 8 - log 2 over log 6 gives the
  // slope through the ends; the middle point sits on the same line only for
  // the middle rank.
  const ZipfFit steps = FitZipf({8, 4, 4, 4, 4, 2});
  ASSERT_TRUE(steps.fitted);
  EXPECT_EQ(steps.points, 3u);
  EXPECT_EQ(steps.last_rank, 6);
  const double xs[3] = {0, std::log10(3.5), std::log10(6.0)};
  const double ys[3] = {std::log10(8.0), std::log10(4.0), std::log10(2.0)};
  const double mx = (xs[0] + xs[1] + xs[2]) / 3;
  const double my = (ys[0] + ys[1] + ys[2]) / 3;
  double sxy = 0;
  double sxx = 0;
  for (int i = 0; i < 3; ++i) {
    sxy += (xs[i] - mx) * (ys[i] - my);
    sxx += (xs[i] - mx) * (xs[i] - mx);
  }
  EXPECT_NEAR(steps.exponent, -sxy / sxx, 1e-12);

  EXPECT_FALSE(FitZipf({5, 3, 1, 1}).fitted);  // two points
  EXPECT_FALSE(FitZipf({}).fitted);
}

TermStats Row(int64_t frequency, int64_t records, int64_t hypomin, int64_t min, int64_t average) {
  TermStats t;
  t.term = "term";
  t.frequency = frequency;
  t.records = records;
  t.max = frequency;
  t.hypomin = hypomin;
  t.min = min;
  t.average = average;
  return t;
}

TEST(FrequencyResultTest, TheNumberOfRecordsIsFoundFromTheAverages) {
  // Seven records: averages 3/7, 10/7 and 1/7 with four decimals; the term in
  // every record has 最小值 equal to 次小值.
  const std::vector<TermStats> seven = {Row(3, 3, 1, 0, 4286), Row(10, 7, 1, 1, 14286),
                                        Row(1, 1, 1, 0, 1429)};
  const RecordCountRange range = DeriveRecordCount(seven);
  EXPECT_TRUE(range.exact());
  EXPECT_EQ(range.low, 7);

  // An average no number of records gives.
  EXPECT_EQ(DeriveRecordCount({Row(3, 3, 1, 0, 4286), Row(1, 1, 1, 0, 5000)}).low, 0);
  // A result without the record columns cannot tell.
  TermStats bare;
  bare.frequency = 4;
  EXPECT_EQ(DeriveRecordCount({bare}).low, 0);
}

TEST(FrequencyResultTest, EvenSpreadOfOccurrencesOverRecords) {
  EXPECT_DOUBLE_EQ(EvenlySpreadRecords(1, 10), 1);
  EXPECT_NEAR(EvenlySpreadRecords(2, 2), 1.5, 1e-12);     // 2 (1 - 1/4)
  EXPECT_NEAR(EvenlySpreadRecords(3, 10), 2.71, 1e-12);   // 10 (1 - 0.729)
  EXPECT_DOUBLE_EQ(EvenlySpreadRecords(0, 10), 0);
  EXPECT_DOUBLE_EQ(EvenlySpreadRecords(5, 1), 1);
}

// The whitespace-separated cells of the line of `out` that starts with
// `first` and `second` (a table row of `vocs show`), empty when none does.
std::vector<std::string> RowOf(const std::string& out, const std::string& first,
                               const std::string& second) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream cells(line);
    std::vector<std::string> row;
    std::string cell;
    while (cells >> cell) row.push_back(cell);
    if (row.size() >= 2 && row[0] == first && row[1] == second) return row;
  }
  return {};
}

// The run worked through in docs/measures.md, as a table of four records.
class MeasuredRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto imported = home_.Vocs(
        {"import", "--db", home_.db(), "--table", "docs",
         home_.dir().Write("docs.tsv", "body\nmoon/wine/lake\nmoon/wine\nmoon/moon\nlake/boat\n")});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;
  }

  void Run(const std::string& statement) {
    const auto run = home_.Vocs({"run", "--db", home_.db(), statement});
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }

  static constexpr const char* kPairs = "AT body(SEGASCOL, \"/\") ";
  CommandHome home_;
};

TEST_F(MeasuredRunTest, ShowRanksPairsByMeasuresOfTheRunsOwnCounts) {
  Run(std::string("STAT ASSOCIATEDFREQ ") + kPairs + "TO FILE=pairs.txt WHERE SELECT body FROM docs");
  Run(std::string("STAT ASSOCIATEDFREQ ") + kPairs + "TO TABLE=pairs WHERE SELECT body FROM docs");
  for (const std::vector<std::string>& source :
       {std::vector<std::string>{"pairs.txt"},
        std::vector<std::string>{"--db", home_.db(), "--table", "pairs"}}) {
    std::vector<std::string> args = {"show", "--measure", "pmi"};
    args.insert(args.end(), source.begin(), source.end());
    // A term's pair with itself only when asked for.
    const auto different = home_.Vocs(args);
    ASSERT_EQ(different.exit_code, 0) << different.err;
    EXPECT_NE(different.out.find(": 4 pairs of two different terms (both orders together), by "
                                 "PMI\n"),
              std::string::npos)
        << different.out;
    EXPECT_TRUE(RowOf(different.out, "moon", "moon").empty()) << different.out;
    args.push_back("--self-pairs");
    const auto shown = home_.Vocs(args);
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_NE(shown.out.find(": 5 pairs of terms (both orders together; a term with itself among "
                             "them), by PMI\n"),
              std::string::npos)
        << shown.out;
    // together, N1, N2, PMI, G², t, Dice as worked out by hand.
    EXPECT_EQ(RowOf(shown.out, "lake", "boat"),
              (std::vector<std::string>{"lake", "boat", "1", "3", "1", "2.000", "3.06", "0.750",
                                        "0.5000"}))
        << shown.out;
    EXPECT_EQ(RowOf(shown.out, "moon", "wine"),
              (std::vector<std::string>{"moon", "wine", "2", "5", "3", "0.678", "1.02", "0.530",
                                        "0.5000"}));
    EXPECT_EQ(RowOf(shown.out, "moon", "moon"),
              (std::vector<std::string>{"moon", "moon", "1", "5", "5", "-0.059", "-0.01",
                                        "-0.059", "0.4000"}));
    // Ranked by PMI: lake-boat first, moon-lake (below chance) last.
    EXPECT_LT(shown.out.find("lake       boat"), shown.out.find("moon       wine")) << shown.out;
    EXPECT_GT(shown.out.find("moon       lake"), shown.out.find("moon       moon")) << shown.out;
  }
  // --min-count keeps the pairs seen that often, both orders together.
  const auto frequent = home_.Vocs({"show", "--measure", "g2", "--min-count", "2", "pairs.txt"});
  ASSERT_EQ(frequent.exit_code, 0) << frequent.err;
  EXPECT_NE(frequent.out.find(": 1 pairs of two different terms seen 2 times or more"),
            std::string::npos)
      << frequent.out;
  EXPECT_FALSE(RowOf(frequent.out, "moon", "wine").empty());
  EXPECT_TRUE(RowOf(frequent.out, "lake", "boat").empty());
  // Without --measure, --min-count filters the rows as they are.
  const auto rows = home_.Vocs({"show", "--min-count", "2", "--db", home_.db(), "--table", "pairs"});
  ASSERT_EQ(rows.exit_code, 0) << rows.err;
  EXPECT_NE(rows.out.find(": 1 rows by 共现频率 (2 or more)\n"), std::string::npos) << rows.out;
}

TEST_F(MeasuredRunTest, AResultWithPairsLeftOutIsRankedByCountOnly) {
  Run(std::string("STAT ASSOCIATEDFREQ SET MINFREQ=2 ") + kPairs +
      "TO FILE=some.txt WHERE SELECT body FROM docs");
  const auto refused = home_.Vocs({"show", "--measure", "t", "some.txt"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("cannot rank the pairs by t exactly"), std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("MINFREQ"), std::string::npos) << refused.err;
  const auto counted = home_.Vocs({"show", "--measure", "count", "some.txt"});
  ASSERT_EQ(counted.exit_code, 0) << counted.err;
  EXPECT_EQ(RowOf(counted.out, "moon", "wine"), (std::vector<std::string>{"moon", "wine", "2"}));

  EXPECT_EQ(home_.Vocs({"show", "--measure", "chi2", "some.txt"}).exit_code, 2);
  EXPECT_EQ(home_.Vocs({"show", "--min-count", "-1", "some.txt"}).exit_code, 2);
}

TEST_F(MeasuredRunTest, PartialsOfTheRunGiveExactMeasuresToAResultWithPairsLeftOut) {
  const std::string statement = std::string("STAT ASSOCIATEDFREQ SET MINFREQ=2 ") + kPairs +
                                "TO FILE=x.txt WHERE SELECT body FROM docs";
  std::vector<std::string> partials;
  for (const std::string k : {"1", "2"}) {
    partials.push_back(home_.dir().Sub("p" + k));
    ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(), "--shard", k + "/2", "--partial",
                          partials.back(), statement})
                  .exit_code,
              0);
  }
  const auto merged = home_.Vocs({"merge", partials[0], partials[1], "TO", "FILE=some.txt"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  const std::vector<std::string> counts = {"--term-counts", partials[1], "--term-counts",
                                           partials[0]};
  std::vector<std::string> args = {"show", "--measure", "pmi", "some.txt"};
  args.insert(args.end(), counts.begin(), counts.end());
  const auto shown = home_.Vocs(args);
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  // The values of the whole run, worked out by hand.
  EXPECT_EQ(RowOf(shown.out, "moon", "wine"),
            (std::vector<std::string>{"moon", "wine", "2", "5", "3", "0.678", "1.02", "0.530",
                                      "0.5000"}))
      << shown.out;
  std::vector<std::string> report = {"report", "some.txt", "-o", "page.html"};
  report.insert(report.end(), counts.begin(), counts.end());
  ASSERT_EQ(home_.Vocs(report).exit_code, 0);
  EXPECT_NE(ReadWholeFile(home_.work() + "/page.html").find("\"exact\":true"), std::string::npos);

  // Not every shard; the counts of another run; a frequency partial.
  auto refused = home_.Vocs({"show", "--measure", "pmi", "some.txt", "--term-counts", partials[0]});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("shard 2 of 2 is missing"), std::string::npos) << refused.err;
  const std::string other = home_.dir().Sub("other");
  ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(), "--partial", other,
                        std::string("STAT ASSOCIATEDFREQ ") + kPairs +
                            "TO FILE=x.txt WHERE SELECT body FROM docs WHERE rowid > 1"})
                .exit_code,
            0);
  refused = home_.Vocs({"show", "--measure", "pmi", "some.txt", "--term-counts", other});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("cannot rank the pairs by PMI exactly: the counts of the 1 partial "
                             "result given do not give row 1"),
            std::string::npos)
      << refused.err;
  const std::string words = home_.dir().Sub("words");
  ASSERT_EQ(home_.Vocs({"run", "--db", home_.db(), "--partial", words,
                        "STAT WORDFREQ AT body(NORMAL) TO FILE=x.txt WHERE SELECT body FROM docs"})
                .exit_code,
            0);
  refused = home_.Vocs({"report", "some.txt", "--term-counts", words});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("frequency engine"), std::string::npos) << refused.err;
  EXPECT_EQ(home_.Vocs({"show", "some.txt", "--term-counts", partials[0]}).exit_code, 2);
}

TEST_F(MeasuredRunTest, ReportHoldsEverythingItShowsAndEscapesTheCorpus) {
  // A term that would be markup in the page.
  const auto more = home_.Vocs(
      {"import", "--db", home_.db(), "--table", "docs", "--append",
       home_.dir().Write("more.tsv", "body\nevil<script>x/moon\n")});
  ASSERT_EQ(more.exit_code, 0) << more.err;
  Run("STAT WORDFREQ AT body(SEGASCOL, \"/\") TO TABLE=words WHERE SELECT body FROM docs");
  Run(std::string("STAT ASSOCIATEDFREQ ") + kPairs + "TO FILE=pairs.txt WHERE SELECT body FROM docs");
  const auto report = home_.Vocs({"report", "--db", home_.db(), "--table", "words", "pairs.txt",
                                  "--min-count", "1", "-o", "page.html"});
  ASSERT_EQ(report.exit_code, 0) << report.err;
  const std::string path = home_.work() + "/page.html";
  EXPECT_EQ(report.out.rfind("report: " + path + " (", 0), 0u) << report.out;
  const std::string page = ReadWholeFile(path);
  // One element of data, one of style, one of script; nothing fetched.
  EXPECT_NE(page.find("<script type=\"application/json\" id=\"vocs-data\">{"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
  EXPECT_EQ(page.find(" src="), std::string::npos);
  EXPECT_EQ(page.find("<link"), std::string::npos);
  // The corpus text only as JSON escapes.
  EXPECT_EQ(page.find("evil<script>"), std::string::npos);
  EXPECT_NE(page.find("evil\\u003cscript\\u003ex"), std::string::npos);
  EXPECT_NE(page.find("\"exact\":true"), std::string::npos);
  EXPECT_NE(page.find("[\"records\",\"5\",\"found from the averages"), std::string::npos);
  // The pair of moon with itself, its counts and its measures.
  EXPECT_NE(page.find("[\"moon\",\"moon\",1,0,6,6,"), std::string::npos);
  EXPECT_NE(page.find("Noto Sans CJK SC"), std::string::npos);
}

TEST_F(MeasuredRunTest, ReportRefusesWhatItCannotReadAndKeepsTheOldPage) {
  Run(std::string("STAT ASSOCIATEDFREQ SET MINFREQ=2 ") + kPairs +
      "TO FILE=some.txt WHERE SELECT body FROM docs");
  auto report = home_.Vocs({"report", "some.txt", "-o", "page.html"});
  ASSERT_EQ(report.exit_code, 0) << report.err;
  EXPECT_NE(report.out.find("note: association measures not computed: "), std::string::npos)
      << report.out;
  const std::string path = home_.work() + "/page.html";
  const std::string page = ReadWholeFile(path);
  EXPECT_NE(page.find("\"exact\":false"), std::string::npos);

  home_.dir().Write("work/notes.txt", "title\tbody\r\nabc\tdef\r\n");
  report = home_.Vocs({"report", "notes.txt", "-o", "page.html"});
  EXPECT_EQ(report.exit_code, 1);
  EXPECT_NE(report.err.find("notes.txt is not a vocs result"), std::string::npos) << report.err;
  report = home_.Vocs({"report", "some.txt", "some.txt", "-o", "page.html"});
  EXPECT_EQ(report.exit_code, 1);
  EXPECT_NE(report.err.find("two co-occurrence results"), std::string::npos) << report.err;
  EXPECT_EQ(home_.Vocs({"report", "missing.txt", "-o", "page.html"}).exit_code, 1);
  EXPECT_EQ(home_.Vocs({"report", "--db", home_.db(), "--table", "nope"}).exit_code, 1);
  EXPECT_EQ(home_.Vocs({"report"}).exit_code, 2);
  EXPECT_EQ(home_.Vocs({"report", "--measure", "x", "some.txt"}).exit_code, 2);
  // Nothing of the failed runs reached the page, and no temporary is left.
  EXPECT_EQ(ReadWholeFile(path), page);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(home_.work())) {
    files += entry.path().filename().string().rfind(".page.html", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(files, 0u);
}

}  // namespace
}  // namespace vocs::cli
