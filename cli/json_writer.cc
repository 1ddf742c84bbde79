#include "cli/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vocs::cli {

namespace {

// The length of the well-formed UTF-8 sequence at s[i], or 0.
size_t SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

void JsonWriter::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_item_.empty()) {
    if (has_item_.back()) text_ += ',';
    has_item_.back() = true;
  }
}

void JsonWriter::Open(char bracket) {
  Separate();
  text_ += bracket;
  has_item_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  text_ += bracket;
  has_item_.pop_back();
}

void JsonWriter::Key(std::string_view key) {
  String(key);
  text_ += ':';
  after_key_ = true;
}

void JsonWriter::String(std::string_view s) {
  Separate();
  text_ += '"';
  char escape[8];
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += static_cast<char>(c);
      } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        text_ += escape;
      } else {
        text_ += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const size_t length = SequenceLength(s, i);
    if (length == 0) {
      text_ += "\\ufffd";
      ++i;
    } else if (length == 3 && c == 0xE2 && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(s[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
      text_ += static_cast<unsigned char>(s[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 3;
    } else {
      text_.append(s.substr(i, length));
      i += length;
    }
  }
  text_ += '"';
}

void JsonWriter::Integer(int64_t value) {
  Separate();
  text_ += std::to_string(value);
}

void JsonWriter::Number(double value) {
  Separate();
  if (!std::isfinite(value)) {
    text_ += "null";
    return;
  }
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  text_.append(buffer, ec == std::errc() ? end : buffer);
}

void JsonWriter::Bool(bool value) {
  Separate();
  text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  Separate();
  text_ += "null";
}

}  // namespace vocs::cli
