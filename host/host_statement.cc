#include "host/host_statement.h"

#include <cctype>

namespace vocs::host {

namespace {

bool IsAsciiNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '-' || c == '.';
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Token {
  enum class Kind { kEnd, kWord, kString, kQuoted, kPunct };
  Kind kind = Kind::kEnd;
  std::string text;  // word bytes, string contents (unquoted), or the punctuation
  size_t offset = 0;
};

// Cuts GB18030 statement text into tokens. A lead byte and its trail byte are
// one name character and never examined as punctuation.
class Lexer {
 public:
  Lexer(std::string_view text, TextCodec* codec) : text_(text), codec_(codec) {}

  // Next token, or false with *error set.
  bool Next(Token* token, std::string* error) {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    token->offset = pos_;
    token->text.clear();
    if (pos_ >= text_.size()) {
      token->kind = Token::Kind::kEnd;
      return true;
    }
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c == '(' || c == ')' || c == ',') {
      token->kind = Token::Kind::kPunct;
      token->text = static_cast<char>(c);
      ++pos_;
      return true;
    }
    if (c == '\'' || c == '"') return ReadQuoted(static_cast<char>(c), token, error);
    if (c >= 0x80 || IsAsciiNameChar(c)) {
      token->kind = Token::Kind::kWord;
      while (pos_ < text_.size()) {
        const unsigned char b = static_cast<unsigned char>(text_[pos_]);
        if (b >= 0x81 && b <= 0xFE && pos_ + 1 < text_.size()) {
          token->text.append(text_.substr(pos_, 2));
          pos_ += 2;
        } else if (b >= 0x80 || IsAsciiNameChar(b)) {
          token->text += static_cast<char>(b);
          ++pos_;
        } else {
          break;
        }
      }
      return true;
    }
    *error = "unexpected character '" + std::string(1, static_cast<char>(c)) + "' at byte " +
             std::to_string(pos_);
    return false;
  }

  // File-system texts are not escaped by the module, so a quote may stand
  // inside them. The PATH text runs from the quote after the current position
  // to the first "'" that is followed (after blanks) by "("; the bulk load
  // file name from the double quote after the current position to the last
  // double quote of the statement. Both leave the position after the closing
  // quote.
  bool RawPath(std::string* out, std::string* error) {
    return RawQuoted('\'', [this](size_t close) {
      size_t next = close + 1;
      while (next < text_.size() && IsSpace(text_[next])) ++next;
      return next < text_.size() && text_[next] == '(';
    }, out, error);
  }
  bool RawFileName(std::string* out, std::string* error) {
    const size_t last = text_.rfind('"');
    return RawQuoted('"', [last](size_t close) { return close == last; }, out, error);
  }

  // Shows a token's text in a message (UTF-8, lossy for bad bytes).
  std::string Show(const Token& token) {
    if (token.kind == Token::Kind::kEnd) return "the end of the statement";
    std::string utf8;
    codec_->DecodeGb18030(token.text).toUTF8String(utf8);
    if (token.kind == Token::Kind::kString) return "'" + utf8 + "'";
    if (token.kind == Token::Kind::kQuoted) return "\"" + utf8 + "\"";
    return "\"" + utf8 + "\"";
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  template <typename IsClose>
  bool RawQuoted(char quote, IsClose is_close, std::string* out, std::string* error) {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    if (pos_ >= text_.size() || text_[pos_] != quote) {
      *error = std::string("expected a text in ") + (quote == '"' ? "double quotes" : "quotes") +
               " at byte " + std::to_string(pos_);
      return false;
    }
    const size_t start = pos_;
    for (size_t i = start + 1; i < text_.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(text_[i]);
      if (b >= 0x81 && b <= 0xFE && i + 1 < text_.size()) {
        ++i;  // a trail byte is never a quote
        continue;
      }
      if (b == static_cast<unsigned char>(quote) && is_close(i)) {
        *out = std::string(text_.substr(start + 1, i - start - 1));
        pos_ = i + 1;
        return true;
      }
    }
    *error = std::string("unterminated ") + (quote == '\'' ? "'...'" : "\"...\"") +
             " text starting at byte " + std::to_string(start);
    return false;
  }

  bool ReadQuoted(char quote, Token* token, std::string* error) {
    token->kind = quote == '\'' ? Token::Kind::kString : Token::Kind::kQuoted;
    const size_t start = pos_++;
    while (pos_ < text_.size()) {
      const unsigned char b = static_cast<unsigned char>(text_[pos_]);
      if (b >= 0x81 && b <= 0xFE && pos_ + 1 < text_.size()) {
        token->text.append(text_.substr(pos_, 2));
        pos_ += 2;
        continue;
      }
      ++pos_;
      if (b == static_cast<unsigned char>(quote)) {
        // A doubled quote inside '...' stands for one quote.
        if (quote == '\'' && pos_ < text_.size() && text_[pos_] == '\'') {
          token->text += '\'';
          ++pos_;
          continue;
        }
        return true;
      }
      token->text += static_cast<char>(b);
    }
    *error = std::string("unterminated ") + (quote == '\'' ? "'...'" : "\"...\"") +
             " text starting at byte " + std::to_string(start);
    return false;
  }

  std::string_view text_;
  TextCodec* codec_;
  size_t pos_ = 0;
};

class Parser {
 public:
  Parser(std::string_view text, TextCodec* codec, std::string* error)
      : lexer_(text, codec), codec_(codec), error_(error) {}

  bool Parse(HostStatement* out) {
    if (!Advance()) return false;
    if (IsKeyword("CREATE")) return ParseCreate(out);
    if (IsKeyword("DROP")) return ParseDrop(out);
    if (IsKeyword("BULKLOAD")) return ParseBulkLoad(out);
    if (IsKeyword("ALTER")) return ParseAlter(out);
    if (IsKeyword("INDEX")) return ParseIndex(out);
    return Fail("a statement (CREATE TABLE, DROP TABLE, bulkload, ALTER TABLE, INDEX)");
  }

 private:
  bool Advance() { return lexer_.Next(&token_, error_); }

  bool IsKeyword(std::string_view keyword) const {
    return token_.kind == Token::Kind::kWord && EqualsIgnoreAsciiCase(token_.text, keyword);
  }
  bool IsPunct(char c) const {
    return token_.kind == Token::Kind::kPunct && token_.text[0] == c;
  }

  bool Fail(std::string_view expected) {
    *error_ = "expected " + std::string(expected) + " at byte " + std::to_string(token_.offset) +
              ", found " + lexer_.Show(token_);
    return false;
  }

  bool ExpectKeyword(std::string_view keyword) {
    if (!IsKeyword(keyword)) return Fail(keyword);
    return Advance();
  }
  bool ExpectPunct(char c) {
    if (!IsPunct(c)) return Fail(std::string("\"") + c + "\"");
    return Advance();
  }
  bool ExpectEnd() {
    if (token_.kind != Token::Kind::kEnd) return Fail("the end of the statement");
    return true;
  }

  // A name, converted to UTF-8.
  bool Name(std::string_view what, std::string* out) {
    return CurrentName(what, out) && Advance();
  }

  // The current token as a name, without moving on.
  bool CurrentName(std::string_view what, std::string* out) {
    if (token_.kind != Token::Kind::kWord) return Fail(what);
    if (!Utf8Of(what, out)) return false;
    if (out->size() > kMaxNameLength) {
      *error_ = std::string(what) + " \"" + *out + "\" is longer than " +
                std::to_string(kMaxNameLength) + " bytes";
      return false;
    }
    return true;
  }

  bool Utf8Of(std::string_view what, std::string* out) {
    size_t bad = 0;
    if (!codec_->Gb18030ToUtf8(token_.text, out, &bad)) {
      *error_ = std::string(what) + " at byte " + std::to_string(token_.offset) +
                " is not GBK text (byte " + std::to_string(token_.offset + bad) + ")";
      return false;
    }
    return true;
  }

  bool QuotedText(std::string_view what, bool convert, std::string* out) {
    if (token_.kind != Token::Kind::kString) return Fail(what);
    if (convert) {
      if (!Utf8Of(what, out)) return false;
    } else {
      *out = token_.text;
    }
    return Advance();
  }

  bool Type(ColumnSpec* column) {
    if (token_.kind != Token::Kind::kWord || !StorageClassOf(token_.text, &column->storage)) {
      return Fail("a column type (CHAR, VARCHAR, TEXT, INTEGER, INT, NUM, NUMERIC, REAL, "
                  "FLOAT, DOUBLE)");
    }
    column->type_text = UpperAscii(token_.text);
    if (!Advance()) return false;
    column->length = 0;
    if (!IsPunct('(')) return true;
    if (!Advance()) return false;
    if (token_.kind != Token::Kind::kWord || token_.text.empty() || token_.text.size() > 9) {
      return Fail("a length");
    }
    for (char c : token_.text) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return Fail("a length");
    }
    column->length = std::stoi(token_.text);
    if (!Advance()) return false;
    return ExpectPunct(')');
  }

  bool ParseCreate(HostStatement* out) {
    out->kind = HostStatement::Kind::kCreateTable;
    if (!Advance() || !ExpectKeyword("TABLE") || !Name("a table name", &out->table)) return false;
    if (!IsKeyword("PATH")) return Fail("PATH");
    if (!lexer_.RawPath(&out->path, error_) || !Advance() || !ExpectPunct('(')) return false;
    while (true) {
      ColumnSpec column;
      if (!Name("a column name", &column.name) || !Type(&column)) return false;
      bool have_alias = false;
      bool have_display = false;
      while (IsKeyword("ALIASNAME") || IsKeyword("DISPLAYNAME")) {
        const bool alias = IsKeyword("ALIASNAME");
        bool& seen = alias ? have_alias : have_display;
        if (seen) return Fail("no repeated ALIASNAME or DISPLAYNAME");
        seen = true;
        if (!Advance()) return false;
        if (!QuotedText("a quoted text", true, alias ? &column.alias : &column.display_name)) {
          return false;
        }
      }
      out->columns.push_back(std::move(column));
      if (IsPunct(')')) break;
      if (!IsPunct(',')) return Fail("\",\" or \")\"");
      if (!Advance()) return false;
    }
    if (!Advance()) return false;
    return ExpectEnd();
  }

  bool ParseDrop(HostStatement* out) {
    out->kind = HostStatement::Kind::kDropTable;
    if (!Advance() || !ExpectKeyword("TABLE") || !Name("a table name", &out->table)) return false;
    return ExpectEnd();
  }

  bool ParseBulkLoad(HostStatement* out) {
    out->kind = HostStatement::Kind::kBulkLoad;
    if (!Advance() || !ExpectKeyword("TABLE") || !CurrentName("a table name", &out->table)) {
      return false;
    }
    if (!lexer_.RawFileName(&out->path, error_)) return false;
    if (out->path.empty()) {
      *error_ = "the file name is empty";
      return false;
    }
    if (!Advance()) return false;
    return ExpectEnd();
  }

  bool ParseAlter(HostStatement* out) {
    out->kind = HostStatement::Kind::kAlterColumn;
    if (!Advance() || !ExpectKeyword("TABLE") || !Name("a table name", &out->table)) return false;
    if (!ExpectKeyword("ALTER") || !Name("a column name", &out->column)) return false;
    ColumnSpec column;
    if (!ExpectKeyword("AS") || !Name("a column name", &column.name) || !Type(&column)) {
      return false;
    }
    if (token_.kind != Token::Kind::kWord) return Fail("a column attribute such as NORMAL");
    out->attribute = UpperAscii(token_.text);
    out->columns.push_back(std::move(column));
    if (!Advance()) return false;
    return ExpectEnd();
  }

  bool ParseIndex(HostStatement* out) {
    out->kind = HostStatement::Kind::kIndex;
    if (!Advance() || !Name("a table name", &out->table) || !ExpectKeyword("ALL")) return false;
    return ExpectEnd();
  }

  Lexer lexer_;
  TextCodec* codec_;
  std::string* error_;
  Token token_;
};

}  // namespace

bool StorageClassOf(std::string_view type_word, StorageClass* out) {
  static constexpr struct {
    const char* word;
    StorageClass storage;
  } kTypes[] = {
      {"CHAR", StorageClass::kText},     {"VARCHAR", StorageClass::kText},
      {"TEXT", StorageClass::kText},     {"INTEGER", StorageClass::kInteger},
      {"INT", StorageClass::kInteger},   {"NUM", StorageClass::kReal},
      {"NUMERIC", StorageClass::kReal},  {"REAL", StorageClass::kReal},
      {"FLOAT", StorageClass::kReal},    {"DOUBLE", StorageClass::kReal},
  };
  for (const auto& type : kTypes) {
    if (EqualsIgnoreAsciiCase(type_word, type.word)) {
      *out = type.storage;
      return true;
    }
  }
  return false;
}

bool ParseHostStatement(std::string_view text, TextCodec* codec, HostStatement* out,
                        std::string* error) {
  *out = HostStatement();
  Parser parser(text, codec, error);
  return parser.Parse(out);
}

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoreAsciiCase(a, b); }

std::string_view TrimSpace(std::string_view text) {
  const char* kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool IsValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength || !IsValidUtf8(name)) return false;
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x80 && !IsAsciiNameChar(b)) return false;
  }
  return true;
}

}  // namespace vocs::host
