// Statements end to end: the built vocs command loads the module, which runs
// against the embedded host and a real database file. Results are read back
// with SQLite (or from the result file) and compared with counts a small
// model computes here from the same records.
//
// The model follows the engines' documented rules on inputs chosen so that
// the rules stay simple: a term has at least 4 bytes (GBK) and begins with a
// byte of 0x41 or above; every rejected token is shorter than 4 bytes, so the
// frequency engine's retry of a rejected token's tail never finds a term.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "host/host_test_util.h"
#include "host/word_segmenter.h"

namespace vocs::cli {
namespace {

using host::testing::Gb18030;
using host::testing::Utf8;
using testing::CommandHome;
using testing::QueryDb;

struct Doc {
  std::string title;
  std::string body;
};

// Titles mix Chinese and ASCII words (segmented by the host in NORMAL mode);
// bodies are ";"-separated terms (SEGASCOL).
const std::vector<Doc> kDocs = {
    {"明月 alpha beta", "明月;春风;明月;gamma"},
    {"beta delta 春风", "春风;omega;abc"},
    {"alpha alpha", "明月;zeta;xy"},
    {"sun moon", "abc;delta"},
};

bool IsTerm(const std::string& gbk) {
  return gbk.size() >= 4 && static_cast<unsigned char>(gbk[0]) >= 0x41;
}

std::vector<std::string> SplitAt(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(delimiter, start);
    pieces.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return pieces;
    start = at + 1;
  }
}

// The terms of one field, in GBK, in text order.
std::vector<std::string> BodyTerms(const Doc& doc) {
  std::vector<std::string> terms;
  for (const std::string& piece : SplitAt(Gb18030(doc.body), ';')) {
    if (IsTerm(piece)) terms.push_back(piece);
  }
  return terms;
}
std::vector<std::string> TitleTerms(const Doc& doc) {
  host::WordSegmenter segmenter;
  std::vector<std::string> terms;
  for (const std::string& word : segmenter.Words(Gb18030(doc.title), host::TextEncoding::kGb18030)) {
    if (IsTerm(word)) terms.push_back(word);
  }
  return terms;
}

std::string Format4(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%0.4f", value);
  return text;
}

// Frequency rows "term|freq|lines|max|hypomin|min|average" (UTF-8), sorted.
std::vector<std::string> FrequencyModel(bool with_titles, int min_frequency) {
  const size_t n = kDocs.size();
  std::map<std::string, std::vector<int>> counts;
  for (size_t r = 0; r < n; ++r) {
    std::vector<std::string> terms = BodyTerms(kDocs[r]);
    if (with_titles) {
      const std::vector<std::string> title = TitleTerms(kDocs[r]);
      terms.insert(terms.end(), title.begin(), title.end());
    }
    for (const std::string& term : terms) {
      auto& per_record = counts[term];
      per_record.resize(n, 0);
      ++per_record[r];
    }
  }
  std::vector<std::string> rows;
  for (const auto& [term, per_record] : counts) {
    int total = 0, lines = 0, max = 0, hypomin = 1 << 30;
    for (int c : per_record) {
      total += c;
      if (c > 0) {
        ++lines;
        max = std::max(max, c);
        hypomin = std::min(hypomin, c);
      }
    }
    if (total < min_frequency) continue;
    const int min = lines == static_cast<int>(n) ? hypomin : 0;
    rows.push_back(Utf8(term) + "|" + std::to_string(total) + "|" + std::to_string(lines) + "|" +
                   std::to_string(max) + "|" + std::to_string(hypomin) + "|" +
                   std::to_string(min) + "|" + Format4(static_cast<double>(total) / n));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Co-occurrence rows "term1|term2|count|support1|support2|reliability" of the
// bodies (one source), sorted.
std::vector<std::string> CooccurrenceModel() {
  std::map<std::pair<std::string, std::string>, int> pairs;
  std::map<std::string, int> term_counts;
  int total = 0;
  for (const Doc& doc : kDocs) {
    const std::vector<std::string> terms = BodyTerms(doc);
    for (size_t i = 0; i < terms.size(); ++i) {
      for (size_t j = i + 1; j < terms.size(); ++j) {
        ++pairs[{terms[i], terms[j]}];
        ++term_counts[terms[i]];
        ++term_counts[terms[j]];
        total += 2;
      }
    }
  }
  std::vector<std::string> rows;
  for (const auto& [pair, count] : pairs) {
    const double c = count;
    rows.push_back(Utf8(pair.first) + "|" + Utf8(pair.second) + "|" + std::to_string(count) + "|" +
                   Format4(c / term_counts[pair.first] * 100) + "|" +
                   Format4(static_cast<float>(c / term_counts[pair.second] * 100)) + "|" +
                   Format4(static_cast<float>(c / total * 100)));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<std::string> SortedRows(const std::string& dump) {
  std::vector<std::string> rows = dump.empty() ? std::vector<std::string>{} : SplitAt(dump, ';');
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A result file (GBK, CR LF, header) as its header and sorted "a|b" rows.
std::vector<std::string> FileRows(const std::string& path, std::string* header) {
  const std::string text = Utf8(testing::ReadWholeFile(path));
  std::vector<std::string> rows;
  for (std::string line : SplitAt(text, '\n')) {
    if (line.empty()) continue;
    EXPECT_EQ(line.back(), '\r') << "line without CR LF in " << path;
    line.pop_back();
    std::replace(line.begin(), line.end(), '\t', '|');
    if (header->empty()) {
      *header = line;
    } else {
      rows.push_back(line);
    }
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!home_.has_factory()) {
      GTEST_SKIP() << "libvocs.so has no PlugModule_CreateInstance yet: statements cannot run";
    }
    std::string tsv = "title\tbody\n";
    for (const Doc& doc : kDocs) tsv += doc.title + "\t" + doc.body + "\n";
    const auto result = home_.Vocs({"import", "--db", home_.db(), "--table", "docs",
                                    home_.dir().Write("docs.tsv", tsv)});
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  testing::RunResult Run(const std::string& statement) {
    return home_.Vocs({"run", "--db", home_.db(), statement});
  }

  std::string Table(const std::string& table) {
    return QueryDb(home_.db(), "SELECT * FROM \"" + table + "\"");
  }

  // Files a run may leave behind, in the directories runs write to: work and
  // load directories, partial results, unfinished tables. "" when none.
  std::string Leftovers() {
    std::string found;
    for (const std::string& directory : {home_.work(), home_.dir().path(), home_.home()}) {
      for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".vocs", 0) == 0 || name.find(".vocs-") != std::string::npos) {
          found += entry.path().string() + " ";
        }
      }
    }
    if (std::filesystem::exists(home_.db())) {
      const std::string shadows =
          QueryDb(home_.db(), "SELECT group_concat(name, ' ') FROM sqlite_schema WHERE type = "
                              "'table' AND name LIKE 'vocs\\_build\\_%' ESCAPE '\\'");
      if (shadows != "null") found += shadows;
      const std::string builds = QueryDb(home_.db(), "SELECT count(*) FROM vocs_builds");
      if (builds != "0" && builds.rfind("error", 0) != 0) found += " builds: " + builds;
    }
    return found;
  }

  CommandHome home_;
};

TEST_F(RunTest, WordFrequencyOfTwoFieldsIntoATable) {
  const auto result = Run(
      "STAT WORDFREQ AT title(NORMAL), body(SEGASCOL, ;) TO TABLE=freq WHERE SELECT * FROM docs");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind("statement 1: " + std::to_string(FrequencyModel(true, 0).size()) +
                                 " rows in table freq of " + home_.db() + ", ",
                             0),
            0u)
      << result.out;
  EXPECT_EQ(SortedRows(Table("freq")), FrequencyModel(true, 0));
  // The columns were re-declared and indexed, and the load files are gone.
  EXPECT_EQ(QueryDb(home_.db(), "SELECT group_concat(attribute) FROM vocs_columns "
                                "WHERE table_name = 'freq'"),
            "NORMAL,NORMAL,NORMAL,NORMAL,NORMAL,NORMAL,NORMAL");
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM sqlite_schema WHERE type = 'index' "
                                "AND tbl_name = 'freq'"),
            "7");
  // No work or load file is left, and nothing was written beside the program.
  EXPECT_EQ(Leftovers(), "");
  EXPECT_FALSE(std::filesystem::exists(home_.home() + "/LOCAL_HS_DB"));
  EXPECT_FALSE(std::filesystem::exists(home_.home() + "/vocstemp"));
}

TEST_F(RunTest, CooccurrenceIntoATableAndIntoAFile) {
  const std::string file = home_.dir().Sub("out/pairs.txt");
  auto result = Run("STAT ASSOCIATEDFREQ AT body(SEGASCOL, ;) TO TABLE=pairs WHERE SELECT body "
                    "FROM docs");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(SortedRows(Table("pairs")), CooccurrenceModel());

  result = Run("STAT ASSOCIATEDFREQ AT body(SEGASCOL, ;) TO FILE=" + file +
               " WHERE SELECT body FROM docs");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind("statement 1: " + std::to_string(CooccurrenceModel().size()) +
                                 " rows in file " + file + ", ",
                             0),
            0u)
      << result.out;
  std::string header;
  EXPECT_EQ(FileRows(file, &header), CooccurrenceModel());
  EXPECT_EQ(header, "词条1名称|词条2名称|共现频率|支持度1|支持度2|置信度");
}

TEST_F(RunTest, ASecondRunReplacesTheTable) {
  ASSERT_EQ(Run("STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=rep WHERE SELECT * FROM docs")
                .exit_code,
            0);
  EXPECT_EQ(SortedRows(Table("rep")), FrequencyModel(false, 0));
  const auto result = Run(
      "STAT WORDFREQ SET MINFREQ=2 AT body(SEGASCOL, ;) TO TABLE=rep WHERE SELECT * FROM docs");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(SortedRows(Table("rep")), FrequencyModel(false, 2));
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM vocs_tables WHERE name = 'rep'"), "1");
}

TEST_F(RunTest, FromDirectoriesOfUtf8AndGbkFilesGiveOneResult) {
  const std::vector<std::pair<std::string, std::string>> kFiles = {
      {"a.txt", "明月，天下。alpha alpha\r\n"},
      {"sub/b.txt", "天下明月，beta alpha"},
      {"c.txt", "天下大事"},
      {"skip.md", "alpha alpha alpha"},
  };
  for (const auto& [name, text] : kFiles) {
    home_.dir().Write("utf8/" + name, text);
    home_.dir().Write("gbk/" + name, Gb18030(text));
  }
  std::string results[2];
  int i = 0;
  for (const char* dir : {"utf8", "gbk"}) {
    const std::string out = home_.dir().Sub(std::string(dir) + ".txt");
    const auto result =
        Run("STAT WORDFREQ FROM " + home_.dir().Sub(dir) + " TO FILE=" + out);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    results[i++] = testing::ReadWholeFile(out);
  }
  EXPECT_EQ(results[0], results[1]);
  std::string header;
  const std::vector<std::string> rows = FileRows(home_.dir().Sub("utf8.txt"), &header);
  // A file run writes the frequency-only layout.
  EXPECT_NE(std::find(rows.begin(), rows.end(), "alpha|3"), rows.end())
      << ::testing::PrintToString(rows);
  EXPECT_NE(std::find(rows.begin(), rows.end(), "明月|2"), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), "天下|3"), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), "大事|1"), rows.end());
  EXPECT_EQ(std::find(rows.begin(), rows.end(), "alpha|6"), rows.end());  // skip.md is no .txt
}

TEST_F(RunTest, WritingQueriesAreRefusedAndTheDataIsUntouched) {
  const std::string before = Table("docs");
  const std::string attached = home_.dir().Sub("other.db");
  for (const std::string& query :
       {std::string("DELETE FROM docs"), std::string("UPDATE docs \"SET\" title= body"),
        std::string("DROP \"TABLE\" docs"),
        "ATTACH \"DATABASE\" \"'" + attached + "'\" AS other"}) {
    const auto result =
        Run("STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=never WHERE " + query);
    EXPECT_EQ(result.exit_code, 1) << query;
    EXPECT_EQ(result.err.rfind("vocs: statement 1 failed with -1109: the host cannot open the "
                               "query\n",
                               0),
              0u)
        << result.err;
    EXPECT_NE(result.err.find("  host: query refused: "), std::string::npos) << result.err;
  }
  EXPECT_EQ(Table("docs"), before);
  EXPECT_FALSE(std::filesystem::exists(attached));
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM sqlite_schema WHERE name = 'never'"), "0");
}

TEST_F(RunTest, TableNamesCannotInjectSqlOrReplaceTheCorpus) {
  const std::string before = Table("docs");
  const std::string schema =
      QueryDb(home_.db(), "SELECT name FROM sqlite_schema ORDER BY name");
  // Names the host could not use are refused before the run.
  for (const std::string& name : {std::string("\"x;DROP TABLE docs\""),
                                  std::string("docs'--")}) {
    const auto result =
        Run("STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=" + name + " WHERE SELECT * FROM docs");
    EXPECT_EQ(result.exit_code, 1) << name;
    EXPECT_NE(result.err.find("cannot be used: use letters, digits"), std::string::npos)
        << result.err;
  }
  const auto result =
      Run("STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=docs WHERE SELECT * FROM docs");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("failed with -3003: the result table cannot be created"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("\"docs\" is not a result table"), std::string::npos) << result.err;
  EXPECT_EQ(Leftovers(), "");
  EXPECT_EQ(Table("docs"), before);
  EXPECT_EQ(QueryDb(home_.db(), "SELECT name FROM sqlite_schema ORDER BY name"), schema);
}

TEST_F(RunTest, RelativeOutputsGoToTheCurrentDirectoryAndStatementsComeFromStdin) {
  const auto result = home_.Vocs(
      {"run", "--db", home_.db()},
      "# two statements\n"
      "STAT WORDFREQ AT body(SEGASCOL, ;)\r\n  TO FILE=rel.txt WHERE SELECT * FROM docs\r\n\r\n"
      "STAT WORDFREQ AT body(SEGASCOL, ;) TO TABLE=reltab WHERE SELECT * FROM docs\n");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::vector<std::string> lines = SplitAt(result.out, '\n');
  ASSERT_EQ(lines.size(), 3u) << result.out;
  const std::string rows = std::to_string(FrequencyModel(false, 0).size());
  EXPECT_EQ(lines[0].rfind("statement 1: " + rows + " rows in file " + home_.work() + "/rel.txt, ",
                           0),
            0u)
      << lines[0];
  EXPECT_EQ(lines[1].rfind("statement 2: " + rows + " rows in table reltab of " + home_.db() +
                               ", ",
                           0),
            0u)
      << lines[1];
  std::string header;
  EXPECT_EQ(FileRows(home_.work() + "/rel.txt", &header), FrequencyModel(false, 0));
  EXPECT_EQ(Leftovers(), "");
  // The default database is vocs.db in the current directory.
  ASSERT_EQ(home_.Vocs({"import", "--table", "d", home_.dir().Sub("docs.tsv")}).exit_code, 0);
  EXPECT_EQ(home_.Vocs({"run", "STAT WORDFREQ AT body(NONE) TO TABLE=w WHERE SELECT * FROM d"})
                .exit_code,
            0);
  EXPECT_EQ(QueryDb(home_.work() + "/vocs.db", "SELECT count(*) FROM w"), "4");
}

TEST_F(RunTest, FailuresNameTheCodeAndStopTheRun) {
  const auto result = home_.Vocs(
      {"run", "--db", home_.db(), "STAT WORDFREQ AT nosuch(NONE) TO TABLE=a WHERE SELECT * FROM docs",
       "STAT WORDFREQ AT body(NONE) TO TABLE=b WHERE SELECT * FROM docs"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("vocs: statement 1 failed with -1100: bad argument or request"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("host: the query result has no column \"nosuch\" (its columns: "
                            "title, body)"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(QueryDb(home_.db(), "SELECT count(*) FROM sqlite_schema WHERE name = 'b'"), "0");
  EXPECT_EQ(Leftovers(), "");
  const std::string good = "STAT WORDFREQ AT body(NONE) TO TABLE=w WHERE SELECT * FROM docs";
  const auto module = home_.Vocs({"run", "--module", home_.dir().Sub("none.so"), good});
  EXPECT_EQ(module.exit_code, 3);
  const auto db = home_.Vocs({"run", "--db", home_.dir().Sub("no/such/dir.db"), good});
  EXPECT_EQ(db.exit_code, 3);
}

}  // namespace
}  // namespace vocs::cli
