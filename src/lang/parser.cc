#include "lang/parser.h"

namespace vocs {

namespace {

int Parse(const char* text, StatCommand* command, int max_stack_depth) {
  ParseState state;
  state.setMaxStackDepthForTesting(max_stack_depth);
  state.beginParse(text, command);
  int result = parseStatement(&state);
  // The parser cannot accept past the token that reports a full registry;
  // this keeps the promise even if a grammar change ever let it.
  if (state.tooManyTokens() && result == kParseAccepted) result = kParseSyntaxError;
  state.endParse();
  return result;
}

}  // namespace

int ParseStatement(const char* text, StatCommand* command) {
  return Parse(text, command, ParseState::kMaxStackDepth);
}

int ParseStatementForTesting(const char* text, StatCommand* command, int max_stack_depth) {
  return Parse(text, command, max_stack_depth);
}

}  // namespace vocs
