#include "cli/run_progress.h"

#include <cstdio>
#include <filesystem>

#include "cli/pair_estimate.h"

namespace vocs::cli {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool EndsWith(const std::string& s, const char* suffix) {
  const std::string tail(suffix);
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Rate(double per_second, const char* unit) {
  char text[48];
  std::snprintf(text, sizeof text, " (%.0f %s/s)", per_second, unit);
  return per_second > 0 ? text : "";
}

}  // namespace

RunProgress::~RunProgress() { Stop(); }

void RunProgress::Start(const Places& places) {
  Stop();
  places_ = places;
  record_ = records_ = conversions_ = rows_ = 0;
  table_phase_ = -1;
  last_record_ = last_rows_ = 0;
  start_ = last_draw_ = std::chrono::steady_clock::now();
  if (!enabled()) return;
  stop_ = false;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; })) {
      Draw();
    }
  });
}

void RunProgress::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  line_.Clear();
}

void RunProgress::OnRecord(int64_t record, int64_t count) {
  record_ = record;
  records_ = count;
}

void RunProgress::OnConversion(int64_t conversions) { conversions_ = conversions; }

void RunProgress::OnTable(host::TableEvent event, int64_t rows) {
  table_phase_ = static_cast<int>(event);
  rows_ = rows;
}

RunProgress::Snapshot RunProgress::Take() {
  namespace fs = std::filesystem;
  Snapshot s;
  const auto now = std::chrono::steady_clock::now();
  s.seconds = std::chrono::duration<double>(now - start_).count();
  const double since = std::chrono::duration<double>(now - last_draw_).count();
  last_draw_ = now;
  s.record = record_;
  s.records = records_;
  s.conversions = conversions_;
  s.files = places_.files;
  s.table_phase = table_phase_;
  s.rows = rows_;
  if (since > 0) {
    s.record_rate = static_cast<double>(s.record - last_record_) / since;
    s.row_rate = static_cast<double>(s.rows - last_rows_) / since;
  }
  last_record_ = s.record;
  last_rows_ = s.rows;
  std::error_code ec;
  for (const std::string& directory : {places_.work, places_.load}) {
    if (directory.empty()) continue;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const uint64_t size = it->is_regular_file(ec) ? it->file_size(ec) : 0;
      if (StartsWith(name, "fre_") || StartsWith(name, "tog_")) {
        ++s.spill_files;
        s.spill_bytes += size;
      } else if (EndsWith(name, ".tx2")) {
        ++s.merge_files;
        s.spill_bytes += size;
      } else if (StartsWith(name, "ok_")) {
        s.result_bytes += size;
      } else if (StartsWith(name, "rec_")) {
        s.output_bytes += size;
      }
    }
  }
  if (!places_.output_file.empty() && fs::exists(places_.output_file, ec)) {
    s.output_bytes += fs::file_size(places_.output_file, ec);
  }
  return s;
}

std::string RunProgress::Describe(const Snapshot& s) {
  std::string text;
  switch (s.table_phase) {
    case static_cast<int>(host::TableEvent::kLoading):
      text = "loading the table: " + FormatCount(static_cast<double>(s.rows)) + " rows" +
             Rate(s.row_rate, "rows");
      break;
    case static_cast<int>(host::TableEvent::kIndexing):
    case static_cast<int>(host::TableEvent::kReplaced):
      text = "indexing the table (" + FormatCount(static_cast<double>(s.rows)) + " rows)";
      break;
    default:
      break;
  }
  if (text.empty() && s.output_bytes > 0) {
    text = "writing the results: " + FormatBytes(static_cast<double>(s.output_bytes));
  }
  if (text.empty() && (s.result_bytes > 0 || s.merge_files > 0)) {
    text = "merging " + std::to_string(s.spill_files + s.merge_files) + " files (" +
           FormatBytes(static_cast<double>(s.spill_bytes)) + ")";
    if (s.result_bytes > 0) text += " into " + FormatBytes(static_cast<double>(s.result_bytes));
  }
  if (text.empty()) {
    if (s.records > 0) {
      text = "records " + std::to_string(s.record) + "/" + std::to_string(s.records) +
             Rate(s.record_rate, "records");
    } else if (s.files > 0) {
      text = "files " + std::to_string(s.conversions) + "/" + std::to_string(s.files);
    } else {
      text = "counting";
    }
    if (s.spill_files > 0) {
      text += ", spilled " + std::to_string(s.spill_files) + " files (" +
              FormatBytes(static_cast<double>(s.spill_bytes)) + ")";
    }
  }
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, " · %.0f s", s.seconds);
  return text + elapsed;
}

void RunProgress::Draw() { line_.Show(Describe(Take())); }

}  // namespace vocs::cli
