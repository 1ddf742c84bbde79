#include "support/runs.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <vector>

#include "support/peak_memory.h"

namespace vocs::bench {

double CpuSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double SystemSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

std::string Measurement::Encode() const {
  char text[256];
  std::snprintf(text, sizeof(text), "%.9g %.9g %.9g %.17g %.17g %.17g %d %d", wall, cpu, system, peak,
                baseline, distinct, spills, passes);
  return text;
}

bool Measurement::Decode(const std::string& text, Measurement* m) {
  return std::sscanf(text.c_str(), "%lg %lg %lg %lg %lg %lg %d %d", &m->wall, &m->cpu, &m->system,
                     &m->peak, &m->baseline, &m->distinct, &m->spills, &m->passes) == 8;
}

Measurement MeasureInChild(const std::function<void(Measurement*)>& body) {
  std::string text;
  const bool ok = RunInChild(
      [&] {
        Measurement m;
        m.baseline = static_cast<double>(CurrentResidentBytes());
        body(&m);
        m.peak = static_cast<double>(PeakResidentBytes());
        return m.Encode();
      },
      &text);
  Measurement m;
  if (!ok || !Measurement::Decode(text, &m)) {
    std::fprintf(stderr, "a benchmark child failed\n");
    std::exit(1);
  }
  return m;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Summary Summarize(const std::vector<Measurement>& rounds) {
  Summary s;
  std::vector<double> wall, cpu, system;
  for (const Measurement& m : rounds) {
    wall.push_back(m.wall);
    cpu.push_back(m.cpu);
    system.push_back(m.system);
    if (m.peak > s.peak) {
      s.peak = m.peak;
      s.baseline = m.baseline;
    }
    s.run_bytes = std::max(s.run_bytes, m.run_bytes());
  }
  s.wall = Median(wall);
  s.cpu = Median(cpu);
  s.system = Median(system);
  return s;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0) return false;
    if (!fa || !fb) return !fa && !fb;
  }
}

ResultOutput::ResultOutput(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
  if (file_ == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void ResultOutput::AppendInt(int64_t value) {
  char number[24];
  text_.append(number, std::to_chars(number, number + sizeof(number), value).ptr);
}

void ResultOutput::AppendFixed4(double value) {
  char number[48];
  text_.append(number, std::to_chars(number, number + sizeof(number), value,
                                     std::chars_format::fixed, 4)
                           .ptr);
}

void ResultOutput::EndLine() {
  text_ += "\r\n";
  if (text_.size() < (1u << 20)) return;
  if (std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) std::exit(1);
  text_.clear();
}

void ResultOutput::Close() {
  if (file_ == nullptr) return;
  const bool ok = std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
  text_.clear();
  if (std::fclose(file_) != 0 || !ok) std::exit(1);
  file_ = nullptr;
}

std::string ReadInputFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::string text(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (static_cast<size_t>(in.gcount()) != text.size()) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  return text;
}

}  // namespace vocs::bench
