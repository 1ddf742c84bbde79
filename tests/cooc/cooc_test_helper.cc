#include "cooc/cooc_test_helper.h"

#include <cstdio>

namespace vocs::testing {

const char kCooccurrenceHeader[] =
    "\xB4\xCA\xCC\xF5"
    "1\xC3\xFB\xB3\xC6\t\xB4\xCA\xCC\xF5"
    "2\xC3\xFB\xB3\xC6\t\xB9\xB2\xCF\xD6\xC6\xB5\xC2\xCA\t\xD6\xA7\xB3\xD6\xB6\xC8"
    "1\t\xD6\xA7\xB3\xD6\xB6\xC8"
    "2\t\xD6\xC3\xD0\xC5\xB6\xC8\r\n";

StatSource MakeSource(int32_t mode, std::string content, std::string mode_text) {
  StatSource source;
  source.kind = kBuffer;
  source.mode = mode;
  source.modeText = std::move(mode_text);
  source.content = std::move(content);
  source.content.resize(source.content.size() + 16, '\0');
  return source;
}

void CooccurrenceModel::Add(const std::string& a, const std::string& b) {
  const std::string x = CutLikeEngine(a);
  const std::string y = CutLikeEngine(b);
  ++pairs_[{x, y}];
  ++term_counts_[x];
  ++term_counts_[y];
  total_ += 2;
}

void CooccurrenceModel::AddRecord(const std::vector<std::string>& terms) {
  for (size_t i = 0; i < terms.size(); ++i) {
    for (size_t j = i + 1; j < terms.size(); ++j) Add(terms[i], terms[j]);
  }
}

void CooccurrenceModel::AddRecordPair(const std::vector<std::string>& first,
                                      const std::vector<std::string>& second) {
  for (const std::string& a : first) {
    for (const std::string& b : second) Add(a, b);
  }
}

std::string CooccurrenceModel::ResultFile(int64_t min_frequency) const {
  std::string out = kCooccurrenceHeader;
  char buffer[64];
  for (const auto& [key, count] : pairs_) {
    if (count < min_frequency) continue;
    const double c = static_cast<double>(count);
    const double n1 = static_cast<double>(term_counts_.at(key.first));
    const double n2 = static_cast<double>(term_counts_.at(key.second));
    out += key.first + "\t" + key.second + "\t" + std::to_string(count);
    std::snprintf(buffer, sizeof(buffer), "\t%0.4f", c / n1 * 100);
    out += buffer;
    std::snprintf(buffer, sizeof(buffer), "\t%0.4f",
                  static_cast<double>(static_cast<float>(c / n2 * 100)));
    out += buffer;
    std::snprintf(buffer, sizeof(buffer), "\t%0.4f\r\n",
                  static_cast<double>(static_cast<float>(c / static_cast<double>(total_) * 100)));
    out += buffer;
  }
  return out;
}

std::string CutLikeEngine(const std::string& term) {
  if (term.size() <= 256) return term;
  std::string cut = term.substr(0, 256);
  // Walk the characters from the front: a lead byte at position 255 would be
  // cut in half.
  size_t i = 0;
  while (i < cut.size()) {
    const unsigned char c = static_cast<unsigned char>(cut[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < cut.size()) {
      i += 2;
    } else {
      if (i == cut.size() - 1 && c >= 0x80) cut.pop_back();
      i += 1;
    }
  }
  return cut;
}

}  // namespace vocs::testing
