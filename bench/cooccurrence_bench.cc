// The co-occurrence engine end to end: StatJob + CooccurrenceTask +
// CooccurrenceFileWriter in mode 2 over records served from memory, against
// a reference written the obvious way (an ordered map of string pairs), each
// configuration in a forked child so that its peak memory is its own.
//
//   cooccurrence_bench [--size-mib N] [--long-size-mib N] [--vocabulary N]
//                      [--zipf X] [--dir PATH] [--skip-reference]
//                      [--only engine-30|reference-30|engine-300|reference-300]
//
// Corpora (deterministic): records of 10 to 50 terms (about 30), and records
// of 250 to 350 terms (about 300), terms drawn with Zipf-distributed ranks
// from the shared benchmark vocabulary (ASCII and GBK terms that all pass the
// term rule). A record of n terms holds n (n - 1) / 2 pair occurrences.
//
// Pairs per second are the pair occurrences of the corpus over the wall time
// of StatJob::Run: counting, every spill, the merge, and the delivery into the
// result file. The engine's result files are compared byte for byte with the
// reference's.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cooc/cooccurrence_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "output/result_record.h"
#include "platform/env.h"
#include "support/corpus.h"
#include "support/memory_host.h"
#include "support/peak_memory.h"

namespace {

using vocs::bench::CorpusOptions;

constexpr double kMiB = 1024.0 * 1024.0;

struct Flags {
  size_t size_mib = 10;
  size_t long_size_mib = 1;
  size_t vocabulary = 100000;
  double zipf = 1.0;
  std::string dir = "/tmp";
  bool skip_reference = false;
  std::string only;
};

struct RecordShape {
  size_t min_terms;
  size_t max_terms;
};

struct Corpus {
  std::string text;  // one record per line, terms joined by "/"
  size_t records = 0;
  size_t terms = 0;
  size_t pairs = 0;  // pair occurrences
};

// Records of uniformly drawn lengths, terms drawn by Zipf rank.
Corpus MakeCorpus(size_t size_bytes, RecordShape shape, const Flags& flags, uint64_t seed) {
  CorpusOptions options;
  options.vocabulary = flags.vocabulary;
  options.seed = seed;
  const std::vector<std::string> vocabulary = vocs::bench::MakeVocabulary(options);
  std::vector<double> cdf(vocabulary.size());
  double sum = 0;
  for (size_t r = 0; r < cdf.size(); ++r) {
    sum += 1.0 / std::pow(static_cast<double>(r + 1), flags.zipf);
    cdf[r] = sum;
  }
  for (double& c : cdf) c /= sum;
  vocs::bench::SplitMix64 rng(seed * 7919 + 3);
  Corpus corpus;
  corpus.text.reserve(size_bytes + 8192);
  while (corpus.text.size() < size_bytes) {
    const size_t n = shape.min_terms + rng.Below(shape.max_terms - shape.min_terms + 1);
    for (size_t k = 0; k < n; ++k) {
      size_t rank =
          static_cast<size_t>(std::lower_bound(cdf.begin(), cdf.end(), rng.Unit()) - cdf.begin());
      rank = std::min(rank, vocabulary.size() - 1);
      if (k > 0) corpus.text.push_back('/');
      corpus.text.append(vocabulary[rank]);
    }
    corpus.text.push_back('\n');
    ++corpus.records;
    corpus.terms += n;
    corpus.pairs += n * (n - 1) / 2;
  }
  return corpus;
}

// Counts the spill files and merge passes of a run.
class CountingEnv final : public vocs::EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(vocs::Env::Default()) {}
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    if (prefix == "tog_") ++spills;
    return EnvWrapper::CreateTempFile(directory, prefix, path);
  }
  std::unique_ptr<vocs::WritableFile> NewWritableFile(const std::string& path) override {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tx2") == 0) ++passes;
    return EnvWrapper::NewWritableFile(path);
  }
  int spills = 0;
  int passes = 0;
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User and system time of this process so far: on a shared machine a steadier
// measure than the wall clock.
double CpuSeconds() {
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The engine, with the time of its last two phases taken apart.
class TimedTask final : public vocs::CooccurrenceTask {
 public:
  int Finish() override {
    const auto start = std::chrono::steady_clock::now();
    const int result = CooccurrenceTask::Finish();
    finish_seconds = Since(start);
    return result;
  }
  int DeliverResults() override {
    const auto start = std::chrono::steady_clock::now();
    const int result = CooccurrenceTask::DeliverResults();
    deliver_seconds = Since(start);
    return result;
  }
  double finish_seconds = 0;
  double deliver_seconds = 0;
};

size_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  size_t lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

std::string Report(const char* name, const Corpus& corpus, double seconds, double cpu,
                   size_t distinct, const std::string& detail, size_t baseline) {
  const size_t peak = vocs::bench::PeakResidentBytes();
  char text[640];
  std::snprintf(text, sizeof(text),
                "%-13s %7.2f s (cpu %6.2f s) %6.2f M pairs/s  distinct %9zu  %s  peak %7.1f MiB "
                "(inputs %5.1f MiB, run %7.1f MiB)\n",
                name, seconds, cpu, static_cast<double>(corpus.pairs) / 1e6 / seconds, distinct,
                detail.c_str(), static_cast<double>(peak) / kMiB,
                static_cast<double>(baseline) / kMiB,
                static_cast<double>(peak > baseline ? peak - baseline : 0) / kMiB);
  return text;
}

std::string RunEngine(const char* name, const Corpus& corpus, const std::string& work,
                      const std::string& output) {
  const size_t baseline = vocs::bench::CurrentResidentBytes();
  CountingEnv env;
  vocs::ScopedEnvForTesting scoped(&env);
  vocs::bench::MemoryHost host(corpus.text);
  vocs::StatJob job;
  job.SetHost(&host);
  job.AddFieldSource("body", vocs::kModeNormal, nullptr);
  vocs::CooccurrenceFileWriter writer;
  TimedTask task;
  task.SetTempDir(work.c_str());
  task.SetOutputName(output);
  task.SetWriter(&writer);
  job.SetCooccurrenceTask(&task);
  const double cpu_start = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = job.Run("SELECT body FROM corpus");
  const double seconds = Since(start);
  const double cpu = CpuSeconds() - cpu_start;
  if (!ok) {
    std::fprintf(stderr, "%s: run failed with %d\n", name, job.error_code());
    std::exit(1);
  }
  char detail[160];
  std::snprintf(detail, sizeof(detail),
                "spills %2d passes %d (count %.2f s, finish %.2f s, deliver %.2f s)", env.spills,
                env.passes, seconds - task.finish_seconds - task.deliver_seconds,
                task.finish_seconds, task.deliver_seconds);
  return Report(name, corpus, seconds, cpu, CountLines(output) - 1, detail, baseline);
}

void AppendValue(double value, std::string* out) {
  char text[40];
  std::snprintf(text, sizeof(text), "%0.4f", value);
  out->append(text);
}

// The obvious engine: every pair into an ordered map of string pairs, every
// term into an ordered map of counts, all in memory; then the result file.
std::string RunReference(const char* name, const Corpus& corpus, const std::string& output) {
  const size_t baseline = vocs::bench::CurrentResidentBytes();
  const double cpu_start = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::map<std::pair<std::string, std::string>, int64_t> pairs;
  std::map<std::string, int64_t> term_counts;
  int64_t total = 0;
  std::vector<std::string> terms;
  const std::string& text = corpus.text;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    terms.clear();
    for (size_t cur = pos; cur <= end;) {
      size_t slash = text.find('/', cur);
      if (slash == std::string::npos || slash > end) slash = end;
      std::string term = text.substr(cur, slash - cur);
      if (term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41) {
        terms.push_back(std::move(term));
      }
      cur = slash + 1;
    }
    for (size_t i = 0; i < terms.size(); ++i) {
      for (size_t j = i + 1; j < terms.size(); ++j) {
        ++pairs[{terms[i], terms[j]}];
        ++term_counts[terms[i]];
        ++term_counts[terms[j]];
        total += 2;
      }
    }
    pos = end + 1;
  }
  std::ofstream out(output, std::ios::binary);
  std::string line;
  for (size_t i = 0; i < vocs::kCooccurrenceFieldCount; ++i) {
    if (i > 0) line += '\t';
    line += vocs::kCooccurrenceFields[i].column_name;
  }
  line += "\r\n";
  out << line;
  for (const auto& [key, count] : pairs) {
    const double c = static_cast<double>(count);
    line = key.first + "\t" + key.second + "\t" + std::to_string(count) + "\t";
    AppendValue(c / static_cast<double>(term_counts[key.first]) * 100, &line);
    line += '\t';
    AppendValue(static_cast<float>(c / static_cast<double>(term_counts[key.second]) * 100),
                &line);
    line += '\t';
    AppendValue(static_cast<float>(c / static_cast<double>(total) * 100), &line);
    line += "\r\n";
    out << line;
  }
  out.close();
  const double seconds = Since(start);
  return Report(name, corpus, seconds, CpuSeconds() - cpu_start, pairs.size(), "", baseline);
}

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
    } else if (arg == "--long-size-mib") {
      flags.long_size_mib = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--vocabulary") {
      flags.vocabulary = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--zipf") {
      flags.zipf = std::strtod(value(), nullptr);
    } else if (arg == "--dir") {
      flags.dir = value();
    } else if (arg == "--only") {
      flags.only = value();
    } else if (arg == "--skip-reference") {
      flags.skip_reference = true;
    } else {
      std::fprintf(stderr, "unknown flag %s\n", argv[i]);
      std::exit(2);
    }
  }
  return flags;
}

// Runs the engine and the reference over one corpus and compares their
// result files. False when they differ.
bool RunShape(const Flags& flags, const std::string& base, const char* label, size_t size_mib,
              RecordShape shape) {
  const std::string engine_name = std::string("engine-") + label;
  const std::string reference_name = std::string("reference-") + label;
  auto wanted = [&](const std::string& name) { return flags.only.empty() || flags.only == name; };
  if (!wanted(engine_name) && !wanted(reference_name)) return true;
  const Corpus corpus = MakeCorpus(size_mib << 20, shape, flags, 1);
  malloc_trim(0);
  std::printf("corpus %s: %.1f MiB, %zu records of %zu to %zu terms, %zu terms, %zu pairs "
              "(Zipf %.1f over %zu)\n",
              label, static_cast<double>(corpus.text.size()) / kMiB, corpus.records,
              shape.min_terms, shape.max_terms, corpus.terms, corpus.pairs, flags.zipf,
              flags.vocabulary);
  std::fflush(stdout);
  const std::string engine_file = base + "/" + engine_name + ".txt";
  const std::string reference_file = base + "/" + reference_name + ".txt";
  if (wanted(engine_name)) {
    RunChild([&] { return RunEngine(engine_name.c_str(), corpus, base + "/work-" + label + "/",
                                    engine_file); });
  }
  if (wanted(reference_name) && !flags.skip_reference) {
    RunChild([&] { return RunReference(reference_name.c_str(), corpus, reference_file); });
  }
  if (flags.only.empty() && !flags.skip_reference) {
    const bool same = SameFile(engine_file, reference_file);
    std::printf("result files equal to the reference: %s\n", same ? "yes" : "NO");
    if (!same) return false;
  }
  std::filesystem::remove(engine_file);
  std::filesystem::remove(reference_file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const Flags flags = ParseFlags(argc, argv);
  const std::string base = flags.dir + "/vocs-cooccurrence-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(base);
  bool ok = RunShape(flags, base, "30", flags.size_mib, RecordShape{10, 50});
  ok = RunShape(flags, base, "300", flags.long_size_mib, RecordShape{250, 350}) && ok;
  std::filesystem::remove_all(base);
  return ok ? 0 : 1;
}
