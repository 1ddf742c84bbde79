// What the benchmark programs share to time their configurations and compare
// them: one measured run of a configuration (in a forked child, see
// peak_memory.h), medians over rounds, and byte-for-byte file comparison.
//
// A child reports its Measurement as one line of text; the parent decodes it,
// so that the ratios of a summary are computed from the same figures that
// each run printed. Single-threaded.
#ifndef VOCS_BENCH_SUPPORT_RUNS_H_
#define VOCS_BENCH_SUPPORT_RUNS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vocs::bench {

// CPU time of this process (user and system) in seconds.
double CpuSeconds();
// The system (kernel) part of it: page faults, clearing fresh pages, files.
double SystemSeconds();

struct Measurement {
  double wall = 0;     // seconds
  double cpu = 0;      // seconds
  double system = 0;   // seconds: the kernel's part of cpu
  double peak = 0;     // bytes: the child's peak resident size
  double baseline = 0; // bytes: its resident size at the start (the inputs)
  double distinct = 0; // result lines
  int spills = 0;
  int passes = 0;

  double run_bytes() const { return peak > baseline ? peak - baseline : 0; }
  std::string Encode() const;
  static bool Decode(const std::string& text, Measurement* m);
};

// Wall and CPU time of f().
template <typename F>
void Time(F f, Measurement* m) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  const double system = SystemSeconds();
  f();
  m->cpu = CpuSeconds() - cpu;
  m->system = SystemSeconds() - system;
  m->wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `body` in a forked child whose peak starts at its current size; the
// body fills everything but the peak. Exits the program when the child fails.
Measurement MeasureInChild(const std::function<void(Measurement*)>& body);

// The median of the values (the mean of the middle two for an even count).
double Median(std::vector<double> values);

// Medians of the wall and CPU times and the largest peak over the rounds.
struct Summary {
  double wall = 0;
  double cpu = 0;
  double system = 0;
  double peak = 0;
  double run_bytes = 0;
  double baseline = 0;
};
Summary Summarize(const std::vector<Measurement>& rounds);

bool SameFile(const std::string& a, const std::string& b);

// Lines of a result file composed in one buffer and written in pieces of
// about 1 MiB, the way a reference writes its result. Exits the program when
// the file cannot be written.
class ResultOutput {
 public:
  explicit ResultOutput(const std::string& path);
  ~ResultOutput() { Close(); }
  ResultOutput(const ResultOutput&) = delete;
  ResultOutput& operator=(const ResultOutput&) = delete;

  std::string& text() { return text_; }
  void AppendInt(int64_t value);
  // With four decimals, exactly rounded (as printf's "%0.4f").
  void AppendFixed4(double value);
  // Ends the line with CR LF.
  void EndLine();
  void Close();

 private:
  std::FILE* file_ = nullptr;
  std::string text_;
};

// The whole file; exits the program when it cannot be read.
std::string ReadInputFile(const std::string& path);

}  // namespace vocs::bench

#endif  // VOCS_BENCH_SUPPORT_RUNS_H_
