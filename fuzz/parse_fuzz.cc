// Fuzz target for the statement lexer and parser: any byte string, cut at
// its first 0 byte, must lex into texts of at most 254 bytes and parse to one
// of the three results, with every kept text within its field's bound.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lang/lexer.h"
#include "lang/parser.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void LexAll(const std::string& text) {
  vocs::StatCommand command;
  vocs::ParseState state;
  state.beginParse(text.c_str(), &command);
  // Every token consumes at least one byte, so the text's length bounds the
  // number of tokens before the end of input.
  for (size_t i = 0; i <= text.size() + 1; ++i) {
    int code = state.nextToken();
    Check(state.currentText().size() <= vocs::kMaxWordBytes);
    if (code == vocs::kTokenEnd || code == vocs::kTokenTooMany) {
      state.endParse();
      return;
    }
  }
  std::abort();  // the lexer did not reach the end of its input
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string statement = text.c_str();  // up to the first 0 byte
  LexAll(statement);

  vocs::StatCommand command;
  const int result = vocs::ParseStatement(statement.c_str(), &command);
  Check(result == vocs::kParseAccepted || result == vocs::kParseSyntaxError ||
        result == vocs::kParseStackExhausted);
  if (result != vocs::kParseAccepted) return 0;
  Check(command.kind >= 0 && command.kind <= 2);
  Check(command.tempPath.size() <= vocs::kCommandFieldBytes);
  Check(command.outputName.size() <= vocs::kCommandFieldBytes);
  for (const std::string& file : command.files) {
    Check(file.size() <= vocs::kCommandFileNameBytes);
  }
  for (const vocs::FieldSource& field : command.fields) {
    Check(field.name.size() <= vocs::kCommandFieldBytes);
    Check(field.mode == 0 || field.mode == 1 || field.mode == 2);
  }
  // Parsing is a function of the text alone.
  vocs::StatCommand again;
  Check(vocs::ParseStatement(statement.c_str(), &again) == result);
  Check(again.query == command.query && again.files == command.files);
  return 0;
}
