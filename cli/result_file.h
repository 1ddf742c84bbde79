// The rows of a result as "vocs show" ranks and shows them: the column they
// are ranked by, the ranking, and cells made fit for a terminal table. The
// rows come from ResultReader (a file) or from a result table.
//
// Plain functions; any thread.
#ifndef VOCS_CLI_RESULT_FILE_H_
#define VOCS_CLI_RESULT_FILE_H_

#include <string>
#include <vector>

namespace vocs::cli {

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
