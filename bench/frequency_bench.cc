// The frequency engine end to end: StatJob + FrequencyTask +
// FrequencyFileWriter in mode 2 over records served from memory, against a
// reference counter written the obvious way (std::map), each configuration
// in a forked child so that its peak memory is its own.
//
//   frequency_bench [--size-mib N] [--vocabulary N] [--spill-threshold N]
//                   [--threshold-size-mib N] [--dir PATH] [--skip-threshold-run]
//                   [--only engine|engine-spill|reference|engine-5M]
//
// Configurations:
//   engine          the default spill threshold (5,000,000 distinct terms)
//   engine-spill    a threshold low enough to spill about 30 times (two
//                   merge passes)
//   reference       std::map counter, same input, same result file format
//   engine-5M       a corpus of more than 5,000,000 distinct terms, default
//                   threshold: the memory held when the table reaches it
//
// MiB/s is corpus bytes over the wall time of StatJob::Run (counting,
// spilling, merging and writing the result file). The result files of the
// engine runs and the reference are compared byte for byte.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "freq/frequency_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "output/result_record.h"
#include "platform/env.h"
#include "support/corpus.h"
#include "support/memory_host.h"
#include "support/peak_memory.h"

namespace {

using vocs::bench::CorpusOptions;
using vocs::bench::CorpusStats;

constexpr double kMiB = 1024.0 * 1024.0;

struct Flags {
  size_t size_mib = 200;
  size_t vocabulary = 2000000;
  size_t spill_threshold = 260000;
  size_t threshold_size_mib = 110;
  std::string dir = "/tmp";
  bool skip_threshold_run = false;
  std::string only;  // run just this configuration (for profiling)
};

// Counts the spill files and merge passes of a run.
class CountingEnv final : public vocs::EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(vocs::Env::Default()) {}
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    if (prefix == "fre_") ++spills;
    return EnvWrapper::CreateTempFile(directory, prefix, path);
  }
  std::unique_ptr<vocs::WritableFile> NewWritableFile(const std::string& path) override {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tx2") == 0) ++passes;
    return EnvWrapper::NewWritableFile(path);
  }
  int spills = 0;
  int passes = 0;
};

size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

// CPU time of this process (user and system), in seconds. On a shared
// machine it tells what the run cost when the wall time includes waiting.
double CpuSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

template <typename F>
Timing Measure(F f) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  f();
  Timing t;
  t.cpu = CpuSeconds() - cpu;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return t;
}

std::string Report(const char* name, size_t bytes, Timing t, size_t distinct, int spills,
                   int passes, size_t baseline) {
  const size_t peak = vocs::bench::PeakResidentBytes();
  const double mib = static_cast<double>(bytes) / kMiB;
  char text[512];
  std::snprintf(text, sizeof(text),
                "%-13s wall %6.2f s %6.1f MiB/s  cpu %6.2f s %6.1f MiB/s  distinct %8zu  "
                "spills %2d  passes %d  peak %6.1f MiB (inputs %5.1f, run %6.1f)\n",
                name, t.wall, mib / t.wall, t.cpu, mib / t.cpu, distinct, spills, passes,
                static_cast<double>(peak) / kMiB, static_cast<double>(baseline) / kMiB,
                static_cast<double>(peak > baseline ? peak - baseline : 0) / kMiB);
  return text;
}

std::string RunEngine(const char* name, const std::string& corpus, size_t threshold,
                      const std::string& work, const std::string& output) {
  const size_t baseline = vocs::bench::CurrentResidentBytes();
  CountingEnv env;
  vocs::ScopedEnvForTesting scoped(&env);
  vocs::bench::MemoryHost host(corpus);
  vocs::StatJob job;
  job.SetHost(&host);
  job.AddFieldSource("body", vocs::kModeNormal, nullptr);
  vocs::FrequencyFileWriter writer;
  vocs::FrequencyTask task;
  task.SetTempDir(work.c_str());
  task.SetOutputName(output);
  task.SetWriter(&writer);
  if (threshold > 0) task.SetSpillThresholdForTesting(threshold);
  job.SetFrequencyTask(&task);
  bool ok = false;
  const Timing t = Measure([&] { ok = job.Run("SELECT body FROM corpus"); });
  if (!ok) {
    std::fprintf(stderr, "%s: run failed with %d\n", name, job.error_code());
    std::exit(1);
  }
  return Report(name, corpus.size(), t, CountLines(output) - 1, env.spills, env.passes,
                baseline);
}

// The obvious counter: split every record at "/", count in a std::map with
// the same per-record bookkeeping, write the same result file.
struct ReferenceStats {
  int64_t total = 0, records = 0, max = 0, min = INT64_MAX, current = 0;
  int64_t last = -1;
};
using ReferenceMap = std::map<std::string, ReferenceStats>;

int64_t CountWithMap(const std::string& corpus, ReferenceMap* terms) {
  int64_t record = 0;
  size_t pos = 0;
  while (pos < corpus.size()) {
    size_t end = corpus.find('\n', pos);
    if (end == std::string::npos) end = corpus.size();
    std::string_view line(corpus.data() + pos, end - pos);
    size_t cur = 0;
    while (cur <= line.size()) {
      size_t slash = line.find('/', cur);
      if (slash == std::string_view::npos) slash = line.size();
      std::string term(line.substr(cur, slash - cur));
      if (term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41) {
        ReferenceStats& s = (*terms)[term];
        if (s.last != record) {
          if (s.last >= 0) {
            s.max = std::max(s.max, s.current);
            s.min = std::min(s.min, s.current);
          }
          s.current = 0;
          s.last = record;
          ++s.records;
        }
        ++s.current;
        ++s.total;
      }
      cur = slash + 1;
    }
    ++record;
    pos = end + 1;
  }
  return record;
}

void WriteReferenceResult(ReferenceMap* terms, int64_t records, const std::string& output) {
  std::ofstream out(output, std::ios::binary);
  for (size_t i = 0; i < vocs::kFrequencyFieldCount; ++i) {
    if (i > 0) out << '\t';
    out << vocs::kFrequencyFields[i].column_name;
  }
  out << "\r\n";
  char average[64];
  for (auto& [term, s] : *terms) {
    s.max = std::max(s.max, s.current);
    s.min = std::min(s.min, s.current);
    std::snprintf(average, sizeof(average), "%0.4f",
                  static_cast<double>(s.total) / static_cast<double>(records));
    out << term << '\t' << s.total << '\t' << s.records << '\t' << s.max << '\t' << s.min
        << '\t' << (s.records == records ? s.min : 0) << '\t' << average << "\r\n";
  }
}

std::string RunReference(const std::string& corpus, const std::string& output) {
  const size_t baseline = vocs::bench::CurrentResidentBytes();
  ReferenceMap terms;
  const Timing t = Measure([&] {
    const int64_t records = CountWithMap(corpus, &terms);
    WriteReferenceResult(&terms, records, output);
  });
  return Report("reference", corpus.size(), t, terms.size(), 0, 0, baseline);
}

// Hands the heap's free pages back to the system, so that a forked child does
// not find them resident and reuse them without its peak showing it.
void ReleaseFreeMemory() { malloc_trim(0); }

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::istreambuf_iterator<char> ia(fa), ib(fb), end;
  return std::string(ia, end) == std::string(ib, end);
}

void RunChild(const std::function<std::string()>& body) {
  std::string text;
  if (!vocs::bench::RunInChild(body, &text)) {
    std::fprintf(stderr, "a benchmark child failed\n");
    std::exit(1);
  }
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

Flags ParseFlags(int argc, char** argv) {
  Flags flags;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", argv[i]);
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--size-mib") {
      flags.size_mib = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--vocabulary") {
      flags.vocabulary = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--spill-threshold") {
      flags.spill_threshold = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--threshold-size-mib") {
      flags.threshold_size_mib = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--dir") {
      flags.dir = value();
    } else if (arg == "--only") {
      flags.only = value();
    } else if (arg == "--skip-threshold-run") {
      flags.skip_threshold_run = true;
    } else {
      std::fprintf(stderr, "unknown flag %s\n", argv[i]);
      std::exit(2);
    }
  }
  return flags;
}

}  // namespace

int main(int argc, char** argv) {
  const Flags flags = ParseFlags(argc, argv);
  const std::string base = flags.dir + "/vocs-frequency-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(base);
  auto wanted = [&](const char* name) { return flags.only.empty() || flags.only == name; };

  if (wanted("engine") || wanted("engine-spill") || wanted("reference")) {
    CorpusOptions options;
    options.size_bytes = flags.size_mib << 20;
    options.vocabulary = flags.vocabulary;
    CorpusStats stats;
    const std::string corpus = vocs::bench::GenerateCorpus(options, &stats);
    ReleaseFreeMemory();
    std::printf("corpus: %.1f MiB, %zu records, %zu terms, %zu distinct (Zipf %.1f over %zu)\n",
                static_cast<double>(stats.bytes) / kMiB, stats.records, stats.terms,
                stats.distinct_terms, options.zipf_exponent, options.vocabulary);
    std::fflush(stdout);
    if (wanted("engine")) {
      RunChild([&] {
        return RunEngine("engine", corpus, 0, base + "/work1/", base + "/engine.txt");
      });
    }
    if (wanted("engine-spill")) {
      RunChild([&] {
        return RunEngine("engine-spill", corpus, flags.spill_threshold, base + "/work2/",
                         base + "/engine-spill.txt");
      });
    }
    if (wanted("reference")) {
      RunChild([&] { return RunReference(corpus, base + "/reference.txt"); });
    }
    if (flags.only.empty()) {
      const bool same = SameFile(base + "/engine.txt", base + "/reference.txt") &&
                        SameFile(base + "/engine-spill.txt", base + "/reference.txt");
      std::printf("result files equal to the reference: %s\n", same ? "yes" : "NO");
      if (!same) return 1;
    }
  }
  ReleaseFreeMemory();

  if ((flags.only.empty() && !flags.skip_threshold_run) || flags.only == "engine-5M") {
    CorpusOptions options;
    options.size_bytes = flags.threshold_size_mib << 20;
    options.vocabulary = 5500000;
    options.zipf_exponent = 0;  // uniform, so that more than 5,000,000 are drawn
    CorpusStats stats;
    const std::string corpus = vocs::bench::GenerateCorpus(options, &stats);
    ReleaseFreeMemory();
    std::printf("corpus: %.1f MiB, %zu records, %zu terms, %zu distinct (uniform over %zu)\n",
                static_cast<double>(stats.bytes) / kMiB, stats.records, stats.terms,
                stats.distinct_terms, options.vocabulary);
    std::fflush(stdout);
    RunChild([&] {
      return RunEngine("engine-5M", corpus, 0, base + "/work3/", base + "/engine-5m.txt");
    });
  }
  std::filesystem::remove_all(base);
  return 0;
}
