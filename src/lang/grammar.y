/* The grammar of the statistics statement language.
 *
 * Bison turns this file into a reentrant LALR(1) parser: every piece of state
 * lives in the ParseState handed to vocs_lang_parse, whose lexer (nextToken)
 * supplies the tokens. The actions fill the state's StatCommand while the
 * parser reduces, that is in statement order.
 *
 * The productions stand in a fixed order. Alternatives 3 to 11 of `input`
 * accept a lone fragment of a statement (an empty text, settings, sources,
 * file names, a query, an output clause); they make the grammar ambiguous,
 * and bison settles every conflict for the production listed first:
 *   - an empty input is the empty `input`, not an empty `set_clause`;
 *   - a WORD at the start is a file list when end of input, a WORD or ","
 *     follows, a field source when "(" follows, and else a query.
 * A complete STAT statement never meets a conflict. Bison reports 0
 * shift/reduce and 6 reduce/reduce conflicts (the empty input 1, a lone WORD
 * 3, a lone setting 1, a lone source 1). %expect cannot pin reduce/reduce
 * conflicts of a deterministic parser, so sources.cmake checks both counts
 * in bison's report; an edit that changes either one stops the build.
 *
 * The stacks start with YYINITDEPTH entries and double up to the state's
 * maxStackDepth() (10000 by default); a statement that needs more is refused
 * with result 2. A syntax error ends the parse with result 1 and no message;
 * the state remembers the offending token's place.
 */

%require "3.0"
%define api.pure full
%define api.prefix {vocs_lang_}
%define api.token.prefix {TOK_}
%define api.value.type {std::string_view}
%parse-param {vocs::ParseState* state}
%lex-param {vocs::ParseState* state}

%code requires {
#include <string_view>

#include "lang/lexer.h"
}

%code {
#include <string>

#include "lang/parser.h"
#include "text/leading_integer.h"
#include "text/text_primitives.h"

// The stacks' first size and their limit. The limit is read from the parse
// state so that tests can lower it; the skeleton evaluates it inside the
// parse function only.
#define YYINITDEPTH 200
#define YYMAXDEPTH (state->maxStackDepth())

namespace {

int vocs_lang_lex(VOCS_LANG_STYPE* value, vocs::ParseState* state) {
  const int code = state->nextToken();
  *value = state->currentText();
  return code;
}

// Syntax errors are reported through the parse result; the state keeps
// where the offending token stands for callers that show it.
void vocs_lang_error(vocs::ParseState* state, const char*) { state->noteSyntaxError(); }

void AppendFile(vocs::ParseState* state, std::string_view name) {
  state->command()->files.push_back(vocs::CutToField(name, vocs::kCommandFileNameBytes));
}

void AppendField(vocs::ParseState* state, std::string_view name, int mode,
                 std::string_view delimiters) {
  vocs::FieldSource field;
  field.name = vocs::CutToField(name, vocs::kCommandFieldBytes);
  field.mode = mode;
  field.delimiters = vocs::CutToField(delimiters, vocs::kCommandFieldBytes);
  state->command()->fields.push_back(std::move(field));
}

void SetStatement(vocs::ParseState* state, vocs::StatementKind kind,
                  vocs::CommandSourceKind source_kind) {
  state->command()->kind = kind;
  state->command()->sourceKind = source_kind;
}

void SetOutput(vocs::ParseState* state, vocs::CommandOutputKind kind, std::string_view name) {
  state->command()->outputKind = kind;
  state->command()->outputName = vocs::CutToField(name, vocs::kCommandFieldBytes);
}

void AppendQuery(vocs::ParseState* state, std::string_view separator, std::string_view word) {
  std::string& query = state->command()->query;
  query.append(separator);
  query.append(word);
}

}  // namespace
}

/* Codes fixed by the lexer's keyword table. */
%token STAT 258 WORDFREQ 259 ASSOCIATEDFREQ 260 SET 261 MINFREQ 262 AT 263
%token NORMAL 264 SEGASCOL 265 NONE 266 FROM 267 TO 268 TABLE 269 FILE 270
%token WHERE 271 WORD 272 TEMPPATH 273

%start input

%%

input
  : freq_statement
  | assoc_statement
  | %empty
  | set_clause
  | setting_list
  | setting
  | source_list
  | source
  | where_text
  | file_list
  | output_clause
  ;

freq_statement
  : STAT WORDFREQ set_clause AT source_list output_clause WHERE where_text
      { SetStatement(state, vocs::kWordFrequency, vocs::kFieldList); }
  | STAT WORDFREQ set_clause FROM file_list output_clause
      { SetStatement(state, vocs::kWordFrequency, vocs::kFileList); }
  ;

assoc_statement
  : STAT ASSOCIATEDFREQ set_clause AT source_list output_clause WHERE where_text
      { SetStatement(state, vocs::kAssociatedFrequency, vocs::kFieldList); }
  | STAT ASSOCIATEDFREQ set_clause FROM file_list output_clause
      { SetStatement(state, vocs::kAssociatedFrequency, vocs::kFileList); }
  ;

set_clause
  : %empty
      { state->command()->minFrequency = 0; state->command()->tempPath.clear(); }
  | SET setting_list
  ;

setting_list
  : setting
  | setting ',' setting_list
  | setting setting_list
  ;

setting
  : MINFREQ '=' WORD
      { state->command()->minFrequency = vocs::ParseLeadingInt32($3); }
  | TEMPPATH '=' WORD
      { state->command()->tempPath = vocs::CutToField($3, vocs::kCommandFieldBytes); }
  ;

source_list
  : source
  | source_list ',' source
  | source_list source
  ;

source
  : WORD '(' NORMAL ')'
      { AppendField(state, $1, vocs::kModeNormal, {}); }
  | WORD '(' NONE ')'
      { AppendField(state, $1, vocs::kModeNone, {}); }
  | WORD '(' SEGASCOL ',' WORD ')'
      { AppendField(state, $1, vocs::kModeDelimited, $5); }
  ;

file_list
  : WORD
      { AppendFile(state, $1); }
  | file_list ',' WORD
      { AppendFile(state, $3); }
  | file_list WORD
      { AppendFile(state, $2); }
  ;

output_clause
  : TO TABLE '=' WORD
      { SetOutput(state, vocs::kTableOutput, $4); }
  | TO FILE '=' WORD
      { SetOutput(state, vocs::kFileOutput, $4); }
  ;

where_text
  : WORD
      { AppendQuery(state, {}, $1); }
  | where_text '*'
      { AppendQuery(state, " *", {}); }
  | where_text '='
      { AppendQuery(state, "=", {}); }
  | where_text '+'
      { AppendQuery(state, "+", {}); }
  | where_text ','
      { AppendQuery(state, ",", {}); }
  | where_text WORD
      { AppendQuery(state, " ", $2); }
  | where_text FROM WORD
      { AppendQuery(state, " FROM ", $3); }
  | where_text WHERE WORD
      { AppendQuery(state, " WHERE ", $3); }
  ;

%%

namespace vocs {

// The token codes the grammar declares are the lexer's. kTokenTooMany is
// declared by no token, so the parser takes it for an invalid token.
constexpr bool SameCode(int grammar_code, int lexer_code) { return grammar_code == lexer_code; }
static_assert(SameCode(TOK_STAT, kTokenStat) && SameCode(TOK_WORDFREQ, kTokenWordfreq) &&
              SameCode(TOK_ASSOCIATEDFREQ, kTokenAssociatedfreq) && SameCode(TOK_SET, kTokenSet) &&
              SameCode(TOK_MINFREQ, kTokenMinfreq) && SameCode(TOK_AT, kTokenAt) &&
              SameCode(TOK_NORMAL, kTokenNormal) && SameCode(TOK_SEGASCOL, kTokenSegascol) &&
              SameCode(TOK_NONE, kTokenNone) && SameCode(TOK_FROM, kTokenFrom) &&
              SameCode(TOK_TO, kTokenTo) && SameCode(TOK_TABLE, kTokenTable) &&
              SameCode(TOK_FILE, kTokenFile) && SameCode(TOK_WHERE, kTokenWhere) &&
              SameCode(TOK_WORD, kTokenWord) && SameCode(TOK_TEMPPATH, kTokenTemppath));

int parseStatement(ParseState* state) { return vocs_lang_parse(state); }

}  // namespace vocs
