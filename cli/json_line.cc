#include "cli/json_line.h"

#include <charconv>
#include <cstdlib>
#include <string>

namespace vocs::cli {

namespace {

class JsonParser {
 public:
  JsonParser(std::string_view text, std::string* error) : s_(text), error_(error) {}

  bool Object(std::vector<std::pair<std::string, FieldValue>>* out) {
    SkipSpace();
    if (!Consume('{')) return Fail("expected a JSON object");
    SkipSpace();
    if (!Consume('}')) {
      while (true) {
        SkipSpace();
        std::string key;
        if (Peek() != '"' || !String(&key)) return Fail("expected a key in double quotes");
        for (const auto& [name, value] : *out) {
          if (name == key) return Fail("the key \"" + key + "\" appears twice");
        }
        SkipSpace();
        if (!Consume(':')) return Fail("expected ':'");
        SkipSpace();
        FieldValue value;
        if (!Value(&value)) return false;
        out->emplace_back(std::move(key), std::move(value));
        SkipSpace();
        if (Consume(',')) continue;
        if (Consume('}')) break;
        return Fail("expected ',' or '}'");
      }
    }
    SkipSpace();
    if (pos_ != s_.size()) return Fail("text after the object");
    return true;
  }

 private:
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  bool Consume(char c) {
    if (Peek() != c || pos_ >= s_.size()) return false;
    ++pos_;
    return true;
  }
  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
      ++pos_;
    }
  }
  bool Fail(const std::string& what) {
    if (error_->empty()) *error_ = what + " at byte " + std::to_string(pos_);
    return false;
  }

  bool Value(FieldValue* out) {
    const char c = Peek();
    if (c == '"') {
      out->kind = FieldValue::Kind::kText;
      return String(&out->text);
    }
    if (c == '{' || c == '[') {
      const size_t start = pos_;
      if (!Skip()) return false;
      out->kind = FieldValue::Kind::kText;
      out->text = std::string(s_.substr(start, pos_ - start));
      return true;
    }
    if (Literal("true")) {
      out->kind = FieldValue::Kind::kInteger;
      out->integer = 1;
      return true;
    }
    if (Literal("false")) {
      out->kind = FieldValue::Kind::kInteger;
      out->integer = 0;
      return true;
    }
    if (Literal("null")) {
      out->kind = FieldValue::Kind::kNull;
      return true;
    }
    return Number(out);
  }

  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Number(FieldValue* out) {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    bool digits = false;
    bool integral = true;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c >= '0' && c <= '9') {
        digits = true;
      } else if (c == '.' || c == 'e' || c == 'E' || ((c == '+' || c == '-') && pos_ > start)) {
        integral = false;
      } else {
        break;
      }
      ++pos_;
    }
    if (!digits) {
      pos_ = start;
      return Fail("expected a value");
    }
    const std::string_view number = s_.substr(start, pos_ - start);
    if (integral) {
      const auto [end, ec] =
          std::from_chars(number.data(), number.data() + number.size(), out->integer);
      if (ec == std::errc() && end == number.data() + number.size()) {
        out->kind = FieldValue::Kind::kInteger;
        return true;
      }
    }
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), out->real);
    if (ec != std::errc() || end != number.data() + number.size()) {
      pos_ = start;
      return Fail("malformed number");
    }
    out->kind = FieldValue::Kind::kReal;
    return true;
  }

  static void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      *out += static_cast<char>(0xC0 | (cp >> 6));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out += static_cast<char>(0xE0 | (cp >> 12));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (cp >> 18));
      *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool Hex4(uint32_t* out) {
    if (pos_ + 4 > s_.size()) return Fail("short \\u escape");
    uint32_t v = 0;
    const auto [end, ec] = std::from_chars(s_.data() + pos_, s_.data() + pos_ + 4, v, 16);
    if (ec != std::errc() || end != s_.data() + pos_ + 4) return Fail("bad \\u escape");
    pos_ += 4;
    *out = v;
    return true;
  }

  bool String(std::string* out) {
    out->clear();
    ++pos_;  // the opening quote
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (pos_ >= s_.size()) break;
      const char e = s_[pos_++];
      switch (e) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t low = 0;
            if (!Literal("\\u") || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) {
              return Fail("unpaired surrogate in a \\u escape");
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return Fail("unpaired surrogate in a \\u escape");
          }
          AppendUtf8(cp, out);
          break;
        }
        default: --pos_; return Fail("unknown escape");
      }
    }
    return Fail("unterminated string");
  }

  // Steps over a nested array or object, checking its form.
  bool Skip() {
    if (++depth_ > kMaxDepth) return Fail("nesting deeper than " + std::to_string(kMaxDepth));
    const bool ok = SkipNested();
    --depth_;
    return ok;
  }

  bool SkipNested() {
    const char open = s_[pos_++];
    const char close = open == '{' ? '}' : ']';
    SkipSpace();
    if (Consume(close)) return true;
    while (true) {
      SkipSpace();
      if (open == '{') {
        std::string key;
        if (Peek() != '"' || !String(&key)) return Fail("expected a key in double quotes");
        SkipSpace();
        if (!Consume(':')) return Fail("expected ':'");
        SkipSpace();
      }
      FieldValue ignored;
      if (!Value(&ignored)) return false;
      SkipSpace();
      if (Consume(',')) continue;
      if (Consume(close)) return true;
      return Fail(std::string("expected ',' or '") + close + "'");
    }
  }

  static constexpr int kMaxDepth = 200;

  std::string_view s_;
  std::string* error_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

bool ParseJsonObject(std::string_view line, std::vector<std::pair<std::string, FieldValue>>* out,
                     std::string* error) {
  out->clear();
  error->clear();
  JsonParser parser(line, error);
  return parser.Object(out);
}

}  // namespace vocs::cli
