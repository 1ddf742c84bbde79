#include "freq/frequency_test_helper.h"

#include <cstdio>
#include <unordered_map>

#include "job/stat_source.h"
#include "output/result_record.h"
#include "support/temp_dir.h"

namespace vocs::testing {

std::string DumpTable(const TermTable& table) {
  std::vector<uint32_t> order;
  table.SortedOrder(&order);
  std::string out;
  for (uint32_t i : order) {
    const TermStats& s = table.Stats(i);
    if (!out.empty()) out += ' ';
    out.append(table.Term(i));
    out += "=" + std::to_string(s.total) + "," + std::to_string(s.records) + "," +
           std::to_string(s.maxCount) + "," + std::to_string(s.minCount);
  }
  return out;
}

void AddToModel(const std::vector<std::string>& terms, Model* model) {
  std::unordered_map<std::string, int64_t> counts;
  for (const std::string& t : terms) ++counts[t];
  for (const auto& [term, n] : counts) {
    ModelStats& s = (*model)[term];
    if (s.records == 0) {
      s.maxCount = n;
      s.minCount = n;
    } else {
      s.maxCount = std::max(s.maxCount, n);
      s.minCount = std::min(s.minCount, n);
    }
    s.total += n;
    s.records += 1;
  }
}

std::string ExpectedResultFile(const Model& model, int32_t record_count,
                               int64_t min_frequency) {
  std::string out;
  for (size_t i = 0; i < kFrequencyFieldCount; ++i) {
    if (i > 0) out += '\t';
    out.append(kFrequencyFields[i].column_name);
  }
  out += "\r\n";
  for (const auto& [term, s] : model) {
    if (s.total < min_frequency) continue;
    char average[64];
    std::snprintf(average, sizeof(average), "%0.4f",
                  static_cast<double>(s.total) / static_cast<double>(record_count));
    out += term + "\t" + std::to_string(s.total) + "\t" + std::to_string(s.records) + "\t" +
           std::to_string(s.maxCount) + "\t" + std::to_string(s.minCount) + "\t" +
           (s.records == record_count ? std::to_string(s.minCount) : "0") + "\t" + average +
           "\r\n";
  }
  return out;
}

int RunRecords(FrequencyTask* task, const std::vector<std::string>& records, int32_t mode,
               const std::string& mode_text) {
  int rc = task->SetRecordCount(static_cast<int32_t>(records.size()));
  StatSource source;
  source.kind = kBuffer;
  source.mode = mode;
  source.modeText = mode_text;
  for (size_t i = 0; rc == 0 && i < records.size(); ++i) {
    const int32_t index = static_cast<int32_t>(i);
    source.content = records[i];
    rc = task->BeginRecord(index);
    if (rc == 0) rc = task->ProcessRecord(index, &source, nullptr);
    if (rc == 0) rc = task->EndRecord(index);
  }
  if (rc == 0) rc = task->Finish();
  if (rc == 0) rc = task->DeliverResults();
  return rc;
}

std::vector<std::string> FileLines(const std::string& path) {
  std::string content = ReadFileOrMissing(path);
  if (content == "<missing>") return {content};
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t lf = content.find('\n', start);
    if (lf == std::string::npos) lf = content.size();
    lines.push_back(content.substr(start, lf - start));
    start = lf + 1;
  }
  return lines;
}

}  // namespace vocs::testing
