#include "lang/parser.h"

namespace vocs {

namespace {

int Parse(const char* text, StatCommand* command, int max_stack_depth,
          ParseDiagnosis* diagnosis) {
  ParseState state;
  state.setMaxStackDepthForTesting(max_stack_depth);
  state.beginParse(text, command);
  int result = parseStatement(&state);
  // The parser cannot accept past the token that reports a full registry;
  // this keeps the promise even if a grammar change ever let it.
  if (state.tooManyTokens() && result == kParseAccepted) result = kParseSyntaxError;
  if (diagnosis != nullptr) {
    diagnosis->error_begin = state.syntaxErrorBegin();
    diagnosis->error_end = state.syntaxErrorEnd();
    diagnosis->unterminated_at = state.unterminatedAt();
    diagnosis->too_many_tokens = state.tooManyTokens();
  }
  state.endParse();
  return result;
}

}  // namespace

int ParseStatement(const char* text, StatCommand* command, ParseDiagnosis* diagnosis) {
  return Parse(text, command, ParseState::kMaxStackDepth, diagnosis);
}

int ParseStatementForTesting(const char* text, StatCommand* command, int max_stack_depth) {
  return Parse(text, command, max_stack_depth, nullptr);
}

}  // namespace vocs
