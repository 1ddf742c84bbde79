// ReportPage: the report as one self-contained HTML file. The page's style,
// its script and its data are inlined; it loads nothing (a content security
// policy forbids every fetch), so it opens offline and as an e-mail
// attachment alike.
//
// Plain function; any thread.
#ifndef VOCS_CLI_REPORT_PAGE_H_
#define VOCS_CLI_REPORT_PAGE_H_

#include <string>
#include <string_view>

namespace vocs::cli {

// The page for `title` (UTF-8, any text) and the data of ReportData, which
// must be JsonWriter output (safe inside a script element).
std::string ReportPage(std::string_view title, std::string_view data_json);

// `text` with &, <, > and " written as character references.
std::string EscapeHtml(std::string_view text);

}  // namespace vocs::cli

#endif  // VOCS_CLI_REPORT_PAGE_H_
