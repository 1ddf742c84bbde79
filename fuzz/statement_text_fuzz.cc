// The command's statement handling on any text: a file of statements split
// into statements, each analysed as the module will read it (words, the
// FROM names, the output clause, TEMPPATH) and, when it passes, rewritten
// with the command's own paths. The rewrite re-reads its result and must
// find the same statement with only the names changed; a statement that does
// not pass is shown with a caret.
#include <string>
#include <vector>

#include "cli/statement_plan.h"
#include "cli/statement_text.h"
#include "fuzz_support.h"
#include "host/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  static vocs::host::TextCodec codec;
  const std::vector<std::string> statements =
      vocs::cli::SplitStatements(vocs::fuzz::AsText(data, size));
  for (const std::string& statement : statements) {
    Check(!statement.empty(), "no empty statement");
    vocs::cli::StatementPlan plan;
    vocs::cli::StatementProblem problem;
    if (!vocs::cli::AnalyzeStatement(statement, &codec, &plan, &problem)) {
      Check(!problem.message.empty(), "a problem says what it is");
      Check(problem.offset <= statement.size(), "a problem is placed in the statement");
      const std::string shown = vocs::cli::ShowProblem(statement, problem);
      Check(!shown.empty() && shown.back() == '\n', "a problem is shown");
      continue;
    }
    vocs::cli::RewriteNames names;
    for (size_t i = 0; i < plan.file_words.size(); ++i) {
      names.files.push_back("/data/输入 " + std::to_string(i) + ".txt");
    }
    names.output = plan.writes_table() ? "/run/load/table" : "/results/词频.txt";
    names.temp_path = "/run/work";
    std::string rewritten;
    std::string error;
    if (!vocs::cli::Rewrite(plan, names, &codec, &rewritten, &error)) {
      Check(error.rfind("internal", 0) != 0, "the rewrite reads as the original");
    }
  }
  return 0;
}
