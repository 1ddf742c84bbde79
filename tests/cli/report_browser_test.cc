// The demo's report of the poems in a real browser: scripts/demo writes it,
// headless Chromium opens it offline, and the page must have drawn every
// chart and table without a word on the console, into a screenshot that is
// not blank. scripts/setup installs Debian's chromium and fonts-noto-cjk.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace vocs::cli {
namespace {

using testing::ReadWholeFile;
using testing::RunProgram;
using testing::RunResult;
using testing::TempDir;

constexpr const char* kChromium = "/usr/bin/chromium";

RunResult Chromium(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> all = {"--headless", "--no-sandbox", "--disable-gpu",
                                  "--no-first-run", "--hide-scrollbars",
                                  "--user-data-dir=" + cwd + "/profile"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(kChromium, all, cwd);
}

// The pixels of a PNG as Chromium writes it (8 bits per channel, RGB or
// RGBA, not interlaced), as 0xRRGGBB values; empty when it is not one.
std::vector<uint32_t> DecodePng(const std::string& png, uint32_t* width, uint32_t* height) {
  const auto be32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(png[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(png[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(png[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(png[at + 3]));
  };
  if (png.size() < 33 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {};
  std::string compressed;
  int channels = 0;
  for (size_t at = 8; at + 8 <= png.size();) {
    const uint32_t length = be32(at);
    const std::string type = png.substr(at + 4, 4);
    if (at + 12 + length > png.size()) return {};
    const size_t data = at + 8;
    if (type == "IHDR") {
      *width = be32(data);
      *height = be32(data + 4);
      const int depth = png[data + 8];
      const int colour = png[data + 9];
      const int interlace = png[data + 12];
      if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return {};
      channels = colour == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      compressed += png.substr(data, length);
    }
    at = data + length + 4;
  }
  if (channels == 0) return {};
  const size_t stride = size_t{*width} * static_cast<size_t>(channels);
  std::vector<unsigned char> raw((stride + 1) * *height);
  uLongf raw_size = raw.size();
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(compressed.data()),
                 compressed.size()) != Z_OK ||
      raw_size != raw.size()) {
    return {};
  }
  std::vector<unsigned char> previous(stride, 0);
  std::vector<unsigned char> line(stride);
  std::vector<uint32_t> pixels;
  pixels.reserve(size_t{*width} * *height);
  for (uint32_t y = 0; y < *height; ++y) {
    const unsigned char* row = &raw[y * (stride + 1)];
    const int filter = row[0];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? line[i - static_cast<size_t>(channels)] : 0;
      const int b = previous[i];
      const int c = i >= static_cast<size_t>(channels) ? previous[i - static_cast<size_t>(channels)] : 0;
      int predicted = 0;
      switch (filter) {
        case 0: predicted = 0; break;
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c;
          const int pa = std::abs(p - a);
          const int pb = std::abs(p - b);
          const int pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: return {};
      }
      line[i] = static_cast<unsigned char>(row[1 + i] + predicted);
    }
    for (size_t x = 0; x < *width; ++x) {
      const unsigned char* p = &line[x * static_cast<size_t>(channels)];
      pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
    previous.swap(line);
  }
  return pixels;
}

// How many elements of the DOM have `attribute` (class="node", ...).
size_t CountOf(const std::string& dom, const std::string& attribute) {
  size_t count = 0;
  for (size_t at = dom.find(attribute); at != std::string::npos;
       at = dom.find(attribute, at + attribute.size())) {
    ++count;
  }
  return count;
}

TEST(ReportBrowserTest, TheDemosReportOfThePoemsDrawsInChromium) {
  ASSERT_TRUE(std::filesystem::exists(kChromium))
      << "no " << kChromium << ": scripts/setup installs Debian's chromium";
  ASSERT_TRUE(std::filesystem::exists("/usr/share/games/fortunes/tang300"))
      << "no poems: scripts/setup installs fortunes-zh";
  TempDir dir;
  const std::string demo = dir.Sub("demo");
  const RunResult made =
      RunProgram("/usr/bin/env",
                 {"VOCS_BUILD_DIR=" VOCS_BUILD_DIR, "VOCS_DEMO_DIR=" + demo, "bash",
                  VOCS_SOURCE_DIR "/scripts/demo"},
                 dir.path());
  ASSERT_EQ(made.exit_code, 0) << made.out << made.err;
  const std::string page = demo + "/report.html";
  // The demo ends with the page's path.
  EXPECT_NE(made.out.find("report: " + page + " ("), std::string::npos) << made.out;
  EXPECT_EQ(made.out.substr(made.out.rfind('\n', made.out.size() - 2) + 1),
            "Open " + page + " in a browser.\n");

  // The page after its script ran, and what the page said on the console.
  const RunResult dom = Chromium({"--enable-logging=stderr", "--v=0", "--virtual-time-budget=10000",
                                  "--dump-dom", "file://" + page},
                                 dir.path());
  ASSERT_EQ(dom.exit_code, 0) << dom.err;
  std::vector<std::string> console;
  const std::regex console_line("[^\n]*:CONSOLE[^\n]*");
  for (auto it = std::sregex_iterator(dom.err.begin(), dom.err.end(), console_line);
       it != std::sregex_iterator(); ++it) {
    console.push_back(it->str());
  }
  EXPECT_TRUE(console.empty()) << console.front();
  const std::string& html = dom.out;
  EXPECT_NE(html.find("<body data-drawn=\"true\">"), std::string::npos);
  for (const char* id : {"id=\"summary\"", "id=\"top-terms\"", "id=\"terms\"",
                         "id=\"rank-frequency\"", "id=\"dispersion\"", "id=\"pairs\"",
                         "id=\"network\""}) {
    EXPECT_EQ(CountOf(html, id), 1u) << id;
  }
  EXPECT_EQ(CountOf(html, "class=\"bar\""), 25u);             // the top terms
  EXPECT_EQ(CountOf(html, "class=\"rank-point\""), 30u);      // named points of the curve
  EXPECT_GE(CountOf(html, "class=\"point\""), 1000u);         // the dispersion chart
  EXPECT_EQ(CountOf(html, "class=\"fit\""), 1u);              // the Zipf line
  EXPECT_GE(CountOf(html, "class=\"node\""), 20u);            // the network
  // 60 pairs of two different terms: lines, no loop of a term with itself
  // until the reader asks for those.
  EXPECT_EQ(CountOf(html, "<line class=\"edge\""), 60u);
  EXPECT_EQ(CountOf(html, "class=\"edge\""), 60u);
  EXPECT_EQ(CountOf(html, "id=\"self-pairs\""), 1u);
  EXPECT_NE(html.find("Zipf exponent s = "), std::string::npos);
  // Both tables filled: 50 rows a page (and the two lists of the spread).
  const size_t terms_table = html.find("id=\"terms-table\"");
  const size_t pairs_table = html.find("id=\"pairs-table\"");
  ASSERT_NE(terms_table, std::string::npos);
  ASSERT_NE(pairs_table, std::string::npos);
  EXPECT_EQ(CountOf(html.substr(terms_table, html.find("</table>", terms_table) - terms_table),
                    "<tr>"),
            51u);
  EXPECT_EQ(CountOf(html.substr(pairs_table, html.find("</table>", pairs_table) - pairs_table),
                    "<tr>"),
            51u);
  // The poems' terms made it in as text.
  EXPECT_NE(html.find(">不见<"), std::string::npos);

  // The screenshot: mostly white page, but with the charts' colours on it.
  const std::string shot = dir.Sub("report.png");
  const RunResult taken =
      Chromium({"--window-size=1280,3000", "--virtual-time-budget=10000", "--screenshot=" + shot,
                "file://" + page},
               dir.path());
  ASSERT_EQ(taken.exit_code, 0) << taken.err;
  uint32_t width = 0;
  uint32_t height = 0;
  const std::vector<uint32_t> pixels = DecodePng(ReadWholeFile(shot), &width, &height);
  ASSERT_EQ(width, 1280u);
  ASSERT_EQ(height, 3000u);
  ASSERT_EQ(pixels.size(), size_t{width} * height);
  size_t inked = 0;
  size_t bar_blue = 0;
  std::set<uint32_t> colours;
  for (const uint32_t p : pixels) {
    if (p != 0xFFFFFF) ++inked;
    if (p == 0x2F6DB5) ++bar_blue;  // the bars' and points' colour
    if (colours.size() < 1000) colours.insert(p);
  }
  EXPECT_GT(inked, pixels.size() / 20) << "the screenshot is almost blank";
  EXPECT_GT(bar_blue, 20000u) << "no bars drawn";
  EXPECT_GT(colours.size(), 100u);
}

}  // namespace
}  // namespace vocs::cli
