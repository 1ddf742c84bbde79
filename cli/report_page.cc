#include "cli/report_page.h"

namespace vocs::cli {

// The style and script of the page (cli/report/), built into the command.
extern const char kReportStyle[];
extern const char kReportScript[];

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ReportPage(std::string_view title, std::string_view data_json) {
  const std::string heading = EscapeHtml(title);
  std::string page;
  page.reserve(data_json.size() + 64 * 1024);
  page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  page += "<title>" + heading + "</title>\n<style>\n";
  page += kReportStyle;
  page += "</style>\n</head>\n<body>\n<header>\n<h1>" + heading + "</h1>\n";
  page += "<p>A report of vocs results: terms, their frequencies and spread, and the pairs of "
          "terms that attract each other.</p>\n<nav></nav>\n</header>\n";
  page += "<main id=\"report\"><noscript><p>This page draws its charts and tables with "
          "JavaScript; allow scripts to see them.</p></noscript></main>\n";
  page += "<footer></footer>\n<div id=\"tooltip\"></div>\n";
  page += "<script type=\"application/json\" id=\"vocs-data\">";
  page += data_json;
  page += "</script>\n<script>\n";
  page += kReportScript;
  page += "</script>\n</body>\n</html>\n";
  return page;
}

}  // namespace vocs::cli
