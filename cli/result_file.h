// A whole result file read from its bytes at once: the module's
// tab-separated lines (GB18030, or UTF-8 from another tool), a header line
// of column names, then one row per non-empty line, CR LF or LF. The show
// command reads files row by row with ResultReader and ranks and shows their
// cells with the functions below.
//
// Plain functions and values; any thread (with a codec of its own).
#ifndef VOCS_CLI_RESULT_FILE_H_
#define VOCS_CLI_RESULT_FILE_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/text_codec.h"

namespace vocs::cli {

struct ResultRows {
  std::vector<std::string> header;             // UTF-8, as in the file
  std::vector<std::vector<std::string>> rows;  // UTF-8 cells made fit to show (ShownCell)
};

// Reads the bytes of a result file: GB18030 when they are that, else UTF-8
// when they are that, else GB18030 with U+FFFD for what does not decode.
// False when there is no header line.
bool ParseResultFile(std::string_view bytes, host::TextCodec* codec, ResultRows* out);

// The frequency column rows are ranked by (词频, or 共现频率 for pairs), -1
// when there is none.
int RankColumn(const std::vector<std::string>& header);

// The number in column `column` of a row; -infinity for anything else (a
// short row, a text, NaN), so that ranking by it is a strict weak order.
double RankValue(const std::vector<std::string>& row, int column);

// Orders the rows by the number in column `rank`, highest first; rows with
// no number there (a short row, a text, NaN) go last. Equal rows keep their
// order. Nothing changes when `rank` is negative.
void RankRows(int rank, std::vector<std::vector<std::string>>* rows);

// A value made fit for one cell of a terminal table: line breaks and tabs as
// spaces, other controls escaped, cut to 40 columns.
std::string ShownCell(std::string text);

}  // namespace vocs::cli

#endif  // VOCS_CLI_RESULT_FILE_H_
