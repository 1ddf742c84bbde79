// The parser of the statistics statement language.
//
// ParseStatement turns one statement text into a StatCommand: it runs
// beginParse, parseStatement and endParse on a ParseState of its own, so it
// keeps no state between calls and any number of threads may parse at once.
// Callers that serialise parses under a lock of their own may keep doing so;
// the parser needs none.
//
// The grammar and the actions that fill the command are in grammar.y.
#ifndef VOCS_LANG_PARSER_H_
#define VOCS_LANG_PARSER_H_

#include <cstdint>
#include <string_view>

#include "lang/lexer.h"
#include "lang/stat_command.h"

namespace vocs {

// Results of a parse.
inline constexpr int kParseAccepted = 0;
inline constexpr int kParseSyntaxError = 1;    // also: more tokens than the registry holds
inline constexpr int kParseStackExhausted = 2; // the stacks would pass their limit

// Where a parse went wrong, as byte offsets into the statement text.
struct ParseDiagnosis {
  // The token the parser could not use (at the end of the input both are the
  // text's length); npos when there was no syntax error.
  size_t error_begin = std::string_view::npos;
  size_t error_end = std::string_view::npos;
  // The quotation or comment that ran to the end of the text unterminated,
  // cutting the input there; npos when none did. Set even when the text
  // before it was accepted.
  size_t unterminated_at = std::string_view::npos;
  bool too_many_tokens = false;  // more than TokenRegistry::kCapacity tokens
};

// Parses the 0-terminated `text` into `*command`, which is reset first.
// Returns kParseAccepted, kParseSyntaxError or kParseStackExhausted. On a
// result other than kParseAccepted `*command` may be partly filled and is to
// be discarded. An accepted fragment of a statement leaves `kind` 0. With
// `diagnosis`, also tells where the parse went wrong.
int ParseStatement(const char* text, StatCommand* command, ParseDiagnosis* diagnosis = nullptr);

// ParseStatement with the parser's stacks limited to `max_stack_depth`
// entries instead of ParseState::kMaxStackDepth. The limit is effective from
// the stacks' first size (200 entries) upwards.
int ParseStatementForTesting(const char* text, StatCommand* command, int max_stack_depth);

// Runs the generated parser over the input set up by state->beginParse.
// Returns 0 when the input is accepted, 1 on a syntax error (including the
// token that reports a full registry), 2 when the stacks are exhausted.
int parseStatement(ParseState* state);

}  // namespace vocs

#endif  // VOCS_LANG_PARSER_H_
