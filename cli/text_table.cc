#include "cli/text_table.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace vocs::cli {

namespace {

bool IsNumber(std::string_view s) {
  if (s.empty()) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
  const icu::UnicodeString text =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  int width = 0;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 c = text.char32At(i);
    const int8_t category = u_charType(c);
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK ||
        category == U_CONTROL_CHAR || category == U_FORMAT_CHAR) {
      continue;
    }
    const int32_t east_asian = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    width += east_asian == U_EA_WIDE || east_asian == U_EA_FULLWIDTH ? 2 : 1;
  }
  return width;
}

std::string EscapeControls(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  char escape[16];
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\t') {
      out += ' ';
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else if (c == 0xC2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(utf8[i + 1]));
      out += escape;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string TruncateToWidth(const std::string& utf8, int width) {
  if (DisplayWidth(utf8) <= width) return utf8;
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  icu::UnicodeString kept;
  int used = 0;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    icu::UnicodeString character(text.char32At(i));
    std::string piece;
    character.toUTF8String(piece);
    const int w = DisplayWidth(piece);
    if (used + w > width - 1) break;
    used += w;
    kept.append(character);
  }
  std::string out;
  kept.toUTF8String(out);
  return out + "\u2026";
}

std::string RenderTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows) {
  const size_t columns = header.size();
  std::vector<int> widths(columns, 0);
  std::vector<bool> numeric(columns, !rows.empty());
  for (size_t c = 0; c < columns; ++c) widths[c] = DisplayWidth(header[c]);
  for (const auto& row : rows) {
    for (size_t c = 0; c < columns; ++c) {
      if (c >= row.size()) continue;  // a short row leaves the column as it is
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
      if (!IsNumber(row[c])) numeric[c] = false;
    }
  }
  std::string out;
  const auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t c = 0; c < columns; ++c) {
      const std::string& cell = c < cells.size() ? cells[c] : std::string();
      const std::string pad(static_cast<size_t>(widths[c] - DisplayWidth(cell)), ' ');
      if (c > 0) text += "  ";
      text += numeric[c] ? pad + cell : cell + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  };
  line(header);
  for (const auto& row : rows) line(row);
  return out;
}

}  // namespace vocs::cli
