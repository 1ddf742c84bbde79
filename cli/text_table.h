// Aligned text columns for terminals: display widths of UTF-8 text and a
// renderer for small tables.
#ifndef VOCS_CLI_TEXT_TABLE_H_
#define VOCS_CLI_TEXT_TABLE_H_

#include <string>
#include <string_view>
#include <vector>

namespace vocs::cli {

// Columns a terminal gives the text: 2 for wide and full-width characters
// (CJK), 0 for combining marks and controls, 1 for the rest.
int DisplayWidth(std::string_view utf8);

// The text with every control character written out, so that text from a
// corpus cannot drive the terminal (ESC sequences that set the title, clear
// the screen, change colours): a TAB becomes a space, other C0 controls and
// DEL become "\x1B"-style escapes, C1 controls "\u009B"-style ones.
std::string EscapeControls(std::string_view utf8);

// The text cut to at most `width` display columns, "…" marking a cut.
std::string TruncateToWidth(const std::string& utf8, int width);

// The rows under the header, columns padded to line up and separated by two
// spaces; a column whose values are all numbers is aligned right. Rows may be
// shorter than the header. Every line ends in LF, without trailing blanks.
std::string RenderTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows);

}  // namespace vocs::cli

#endif  // VOCS_CLI_TEXT_TABLE_H_
