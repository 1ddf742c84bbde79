#include "lang/parser.h"

#include <limits>

namespace vocs {

namespace {

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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

int32_t ParseLeadingInt32(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulated as a negative number so that the most negative value fits.
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kMin) {
      value = kMin - 1;  // saturated; further digits change nothing
      break;
    }
  }
  if (negative) return static_cast<int32_t>(value < kMin ? kMin : value);
  return static_cast<int32_t>(-value > kMax ? kMax : -value);
}

}  // namespace vocs
