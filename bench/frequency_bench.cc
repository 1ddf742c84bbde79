// The frequency engine end to end, as a server runs it: libvocs.so loaded with
// dlopen and VOCS_Frequency called in mode 2 with a host that serves the
// records from memory; beside it the same engine driven directly (StatJob +
// FrequencyTask + FrequencyFileWriter, for profiling and for the spilling
// configuration, whose threshold the export does not take), against two
// references run on the same input in the same program: a counter built on
// absl::flat_hash_map with a sort at the end (the best plain design), and a
// std::map counter written the obvious way (for checking results on a small
// corpus). Every configuration runs in a forked child so that its peak memory
// is its own; the configurations of a corpus run in turn, round after round,
// and the summary gives medians and ratios.
//
//   frequency_bench [--size-mib N] [--vocabulary N] [--input PATH] [--library PATH]
//                   [--spill-threshold N] [--threshold-size-mib N]
//                   [--check-size-mib N] [--rounds N] [--dir PATH]
//                   [--skip-threshold-run] [--only NAME]
//
// Parts (NAME for --only):
//   check        a small corpus: engine, engine-spill, flat-hash and the
//                std::map reference write the same result file
//   large-record 4,000 records with and without one record of 2 MiB: the
//                cost per byte must not grow with the largest record
//   one-record   a whole run over one record of ten terms
//   main         the large corpus (generated, or --input, one record per
//                line, terms joined by "/"): export (VOCS_Frequency of the
//                loaded library), engine (StatJob, default threshold),
//                engine-spill (about 30 spills, two merge passes), flat-hash;
//                each of the four also alone (--only engine, for profiling)
//   engine-5M    a corpus of more than 5,000,000 distinct terms, default
//                threshold: the memory held when the table reaches it
//
// Times are those of the whole run: for the export the call of VOCS_Frequency
// (the library is loaded before the clock starts), for the engine StatJob::Run (loading
// every record, counting, spilling, merging, writing the result file), for a
// reference its counting over the same in-memory corpus and its writing of
// the same result file.
#include <malloc.h>
#include <unistd.h>

#include <absl/container/flat_hash_map.h>
#include <absl/strings/string_view.h>

#include <algorithm>
#include <charconv>
#include <climits>
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
#include "support/loaded_module.h"
#include "support/memory_host.h"
#include "support/peak_memory.h"
#include "support/runs.h"
#include "vocs/vocs.h"

namespace {

using vocs::bench::CorpusOptions;
using vocs::bench::CorpusStats;
using vocs::bench::Measurement;
using vocs::bench::Summary;

constexpr double kMiB = 1024.0 * 1024.0;

struct Flags {
  size_t size_mib = 200;
  size_t vocabulary = 2000000;
  std::string input;
  std::string library = VOCS_LIBRARY_PATH;
  size_t spill_threshold = 260000;
  size_t threshold_size_mib = 110;
  size_t check_size_mib = 8;
  int rounds = 3;
  std::string dir = "/tmp";
  bool skip_threshold_run = false;
  std::string only;
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

// One engine run; false when the job fails.
bool RunEngineOnce(const std::string& corpus, size_t threshold, const std::string& work,
                   const std::string& output) {
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
  if (job.Run("SELECT body FROM corpus")) return true;
  std::fprintf(stderr, "engine run failed with %d\n", job.error_code());
  return false;
}

Measurement RunEngine(const std::string& corpus, size_t threshold, const std::string& work,
                      const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    CountingEnv env;
    vocs::ScopedEnvForTesting scoped(&env);
    bool ok = false;
    vocs::bench::Time([&] { ok = RunEngineOnce(corpus, threshold, work, output); }, m);
    if (!ok) std::exit(1);
    m->distinct = static_cast<double>(CountLines(output) - 1);
    m->spills = env.spills;
    m->passes = env.passes;
  });
}

// One call of VOCS_Frequency from the library loaded as a server loads it,
// with the work directory below `work` and an absolute output path. The
// child's peak includes the library's code, which a server pays as well.
Measurement RunExport(const std::string& library, const std::string& corpus,
                      const std::string& work, const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    const vocs::bench::LoadedModule module = vocs::bench::LoadModuleOrDie(library, work);
    vocs::bench::MemoryHost host(corpus);
    int32_t code = 0;
    vocs::bench::Time(
        [&] {
          code = module.frequency("SELECT body FROM corpus", "body", vocs::kModeNormal, "", 0, 0,
                                  output.c_str(), &host);
        },
        m);
    if (code != 0) {
      std::fprintf(stderr, "VOCS_Frequency failed with %d\n", code);
      std::exit(1);
    }
    m->distinct = static_cast<double>(CountLines(output) - 1);
    m->spills = -1;  // the library's file calls are not seen from here
    m->passes = -1;
  });
}

// The per-record bookkeeping both references share.
struct TermStats {
  int64_t total = 0, records = 0, max = 0, min = INT64_MAX, current = 0;
  int64_t last = -1;

  void Add(int64_t record) {
    if (last != record) {
      if (last >= 0) {
        max = std::max(max, current);
        min = std::min(min, current);
      }
      current = 0;
      last = record;
      ++records;
    }
    ++current;
    ++total;
  }
  void Close() {
    max = std::max(max, current);
    min = std::min(min, current);
  }
};

// Splits every record at "/" and hands each term that passes the term rule
// of these corpora to stats_of(term).Add(record). Returns the record count.
template <typename StatsOf>
int64_t CountRecords(const std::string& corpus, StatsOf stats_of) {
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
      std::string_view term = line.substr(cur, slash - cur);
      if (term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41) {
        stats_of(term).Add(record);
      }
      cur = slash + 1;
    }
    ++record;
    pos = end + 1;
  }
  return record;
}

// The obvious counter: a std::map, iostreams and printf.
Measurement RunMapReference(const std::string& corpus, const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    std::map<std::string, TermStats> terms;
    vocs::bench::Time(
        [&] {
          const int64_t records = CountRecords(
              corpus, [&](std::string_view term) -> TermStats& { return terms[std::string(term)]; });
          std::ofstream out(output, std::ios::binary);
          for (size_t i = 0; i < vocs::kFrequencyFieldCount; ++i) {
            if (i > 0) out << '\t';
            out << vocs::kFrequencyFields[i].column_name;
          }
          out << "\r\n";
          char average[64];
          for (auto& [term, s] : terms) {
            s.Close();
            std::snprintf(average, sizeof(average), "%0.4f",
                          static_cast<double>(s.total) / static_cast<double>(records));
            out << term << '\t' << s.total << '\t' << s.records << '\t' << s.max << '\t'
                << s.min << '\t' << (s.records == records ? s.min : 0) << '\t' << average
                << "\r\n";
          }
        },
        m);
    m->distinct = static_cast<double>(terms.size());
  });
}


// The best plain design: an absl::flat_hash_map from term to its statistics
// (short terms stay inside the key), then a sort of the entries by term and
// one buffered write of the lines.
Measurement RunFlatHashReference(const std::string& corpus, const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    absl::flat_hash_map<std::string, TermStats> terms;
    vocs::bench::Time(
        [&] {
          const int64_t records = CountRecords(corpus, [&](std::string_view term) -> TermStats& {
            return terms.try_emplace(absl::string_view(term.data(), term.size())).first->second;
          });
          std::vector<std::pair<const std::string*, TermStats*>> sorted;
          sorted.reserve(terms.size());
          for (auto& [term, s] : terms) sorted.emplace_back(&term, &s);
          std::sort(sorted.begin(), sorted.end(),
                    [](const auto& a, const auto& b) { return *a.first < *b.first; });
          vocs::bench::ResultOutput out(output);
          for (size_t i = 0; i < vocs::kFrequencyFieldCount; ++i) {
            if (i > 0) out.text() += '\t';
            out.text() += vocs::kFrequencyFields[i].column_name;
          }
          out.EndLine();
          for (auto& [term, s] : sorted) {
            s->Close();
            out.text() += *term;
            for (int64_t value : {s->total, s->records, s->max, s->min,
                                  s->records == records ? s->min : 0}) {
              out.text() += '\t';
              out.AppendInt(value);
            }
            out.text() += '\t';
            out.AppendFixed4(static_cast<double>(s->total) / static_cast<double>(records));
            out.EndLine();
          }
        },
        m);
    m->distinct = static_cast<double>(terms.size());
  });
}

void PrintRun(const char* name, size_t bytes, const Measurement& m) {
  const double mib = static_cast<double>(bytes) / kMiB;
  // Negative counts: not seen (the loaded library's file calls).
  const std::string spills = m.spills < 0 ? " -" : std::to_string(m.spills);
  const std::string passes = m.passes < 0 ? "-" : std::to_string(m.passes);
  std::printf("  %-12s wall %7.3f s %6.1f MiB/s  cpu %7.3f s (sys %5.3f)  distinct %8.0f  "
              "spills %2s  passes %s  peak %6.1f MiB (inputs %5.1f, run %6.1f)\n",
              name, m.wall, mib / m.wall, m.cpu, m.system, m.distinct, spills.c_str(),
              passes.c_str(),
              m.peak / kMiB,
              m.baseline / kMiB, m.run_bytes() / kMiB);
  std::fflush(stdout);
}

void PrintSummary(const char* name, size_t bytes, const std::vector<Measurement>& rounds) {
  const Summary s = vocs::bench::Summarize(rounds);
  const double mib = static_cast<double>(bytes) / kMiB;
  std::printf("%-12s median of %zu: wall %7.3f s %6.1f MiB/s  cpu %7.3f s (sys %5.3f)  peak %6.1f MiB "
              "(run %6.1f above inputs of %5.1f)\n",
              name, rounds.size(), s.wall, mib / s.wall, s.cpu, s.system, s.peak / kMiB,
              s.run_bytes / kMiB, s.baseline / kMiB);
}

CorpusStats Describe(const std::string& corpus) {
  CorpusStats stats;
  stats.bytes = corpus.size();
  for (char c : corpus) {
    stats.records += c == '\n';
    stats.terms += c == '/' || c == '\n';
  }
  if (!corpus.empty() && corpus.back() != '\n') {
    ++stats.records;
    ++stats.terms;
  }
  return stats;
}

bool Check(const Flags& flags, const std::string& base) {
  CorpusOptions options;
  options.size_bytes = flags.check_size_mib << 20;
  options.vocabulary = flags.vocabulary / 4;
  const std::string corpus = vocs::bench::GenerateCorpus(options, nullptr);
  malloc_trim(0);
  const std::string map_file = base + "/check-map.txt";
  std::printf("check: %.1f MiB generated\n", static_cast<double>(corpus.size()) / kMiB);
  PrintRun("export", corpus.size(),
           RunExport(flags.library, corpus, base + "/cw0/", base + "/c0.txt"));
  PrintRun("engine", corpus.size(), RunEngine(corpus, 0, base + "/cw1/", base + "/c1.txt"));
  PrintRun("engine-spill", corpus.size(),
           RunEngine(corpus, 20000, base + "/cw2/", base + "/c2.txt"));
  PrintRun("flat-hash", corpus.size(), RunFlatHashReference(corpus, base + "/c3.txt"));
  PrintRun("std::map", corpus.size(), RunMapReference(corpus, map_file));
  const bool same = vocs::bench::SameFile(base + "/c0.txt", map_file) &&
                    vocs::bench::SameFile(base + "/c1.txt", map_file) &&
                    vocs::bench::SameFile(base + "/c2.txt", map_file) &&
                    vocs::bench::SameFile(base + "/c3.txt", map_file);
  std::printf("check: export, engine, engine-spill and flat-hash result files equal the std::map "
              "reference's: %s\n\n",
              same ? "yes" : "NO");
  return same;
}

// 4,000 records of the generator without and with one record of 2 MiB before
// them, and that record alone, in turn. The cost per byte with the large
// record is compared with that without it; and the cost of the two together
// with the sum of their costs apart, which shows any cost that grows with the
// records that follow a large record.
void LargeRecord(const Flags& flags, const std::string& base) {
  CorpusOptions options;
  options.size_bytes = 2u << 20;
  options.seed = 7;
  std::string large = vocs::bench::GenerateCorpus(options, nullptr);
  std::replace(large.begin(), large.end(), '\n', '/');
  large.back() = '\n';
  options.size_bytes = 4u << 20;
  options.seed = 1;
  std::string small = vocs::bench::GenerateCorpus(options, nullptr);
  size_t cut = 0;
  for (int i = 0; i < 4000; ++i) cut = small.find('\n', cut) + 1;
  small.resize(cut);
  const std::string with = large + small;
  std::printf("large-record: 4,000 records (%.2f MiB), and the same after one record of "
              "%.2f MiB\n",
              static_cast<double>(small.size()) / kMiB,
              static_cast<double>(large.size()) / kMiB);
  std::vector<double> without_cpu, with_cpu, alone_cpu;
  const int rounds = std::max(5, flags.rounds * 3);
  for (int r = 0; r < rounds; ++r) {
    const Measurement a = RunEngine(small, 0, base + "/lw1/", base + "/l1.txt");
    const Measurement b = RunEngine(with, 0, base + "/lw2/", base + "/l2.txt");
    const Measurement c = RunEngine(large, 0, base + "/lw3/", base + "/l3.txt");
    without_cpu.push_back(a.cpu);
    with_cpu.push_back(b.cpu);
    alone_cpu.push_back(c.cpu);
    std::printf("  round %d: without %.1f ms (cpu %.1f), with %.1f ms (cpu %.1f), the large "
                "record alone %.1f ms (cpu %.1f)\n",
                r + 1, a.wall * 1e3, a.cpu * 1e3, b.wall * 1e3, b.cpu * 1e3, c.wall * 1e3,
                c.cpu * 1e3);
  }
  const double without = vocs::bench::Median(without_cpu);
  const double together = vocs::bench::Median(with_cpu);
  const double alone = vocs::bench::Median(alone_cpu);
  const double without_ns = without / static_cast<double>(small.size()) * 1e9;
  const double with_ns = together / static_cast<double>(with.size()) * 1e9;
  const double alone_ns = alone / static_cast<double>(large.size()) * 1e9;
  std::printf("large-record: cpu medians of %d: without %.1f ms, with %.1f ms, the large record "
              "alone %.1f ms; per byte without %.2f ns, with %.2f ns (ratio %.2f, target at most "
              "1; the large record alone %.2f ns); with / (without + alone) %.2f\n\n",
              rounds, without * 1e3, together * 1e3, alone * 1e3, without_ns, with_ns,
              with_ns / without_ns, alone_ns, together / (without + alone));
}

// A whole run, job and task and writer included, over one record of ten
// terms, 22 times in one child; the first run (which warms the code) is left
// out of the figures, which the child prints.
void OneRecord(const std::string& base) {
  const std::string corpus = "alpha/bravo/charlie/delta/echo/foxtrot/golf/hotel/india/juliet\n";
  vocs::bench::MeasureInChild([&](Measurement*) {
    std::vector<double> walls, cpus;
    for (int r = 0; r < 22; ++r) {
      Measurement one;
      vocs::bench::Time(
          [&] {
            if (!RunEngineOnce(corpus, 0, base + "/ow/", base + "/o.txt")) std::exit(1);
          },
          &one);
      if (r == 0) continue;
      walls.push_back(one.wall);
      cpus.push_back(one.cpu);
    }
    std::printf("one-record: a whole run over one record of ten terms, %zu runs: wall median "
                "%.3f ms (largest %.3f), cpu median %.3f ms (target under 5 ms)\n\n",
                walls.size(), vocs::bench::Median(walls) * 1e3,
                *std::max_element(walls.begin(), walls.end()) * 1e3,
                vocs::bench::Median(cpus) * 1e3);
    std::fflush(stdout);
  });
}

bool Main(const Flags& flags, const std::string& base) {
  std::string corpus;
  if (!flags.input.empty()) {
    corpus = vocs::bench::ReadInputFile(flags.input);
    const CorpusStats stats = Describe(corpus);
    std::printf("main: %s, %.1f MiB, %zu records, %zu terms\n", flags.input.c_str(),
                static_cast<double>(stats.bytes) / kMiB, stats.records, stats.terms);
  } else {
    CorpusOptions options;
    options.size_bytes = flags.size_mib << 20;
    options.vocabulary = flags.vocabulary;
    CorpusStats stats;
    corpus = vocs::bench::GenerateCorpus(options, &stats);
    std::printf("main: %.1f MiB, %zu records, %zu terms, %zu distinct (Zipf %.1f over %zu)\n",
                static_cast<double>(stats.bytes) / kMiB, stats.records, stats.terms,
                stats.distinct_terms, options.zipf_exponent, options.vocabulary);
  }
  malloc_trim(0);
  std::fflush(stdout);
  std::vector<Measurement> exported, engine, spill, flat;
  bool same = true;
  auto one_of = [&](const char* name) { return flags.only == "main" || flags.only == name; };
  for (int r = 0; r < flags.rounds; ++r) {
    std::printf("round %d\n", r + 1);
    if (one_of("export")) {
      exported.push_back(RunExport(flags.library, corpus, base + "/mw0/", base + "/m0.txt"));
      PrintRun("export", corpus.size(), exported.back());
    }
    if (one_of("engine")) {
      engine.push_back(RunEngine(corpus, 0, base + "/mw1/", base + "/m1.txt"));
      PrintRun("engine", corpus.size(), engine.back());
    }
    if (one_of("engine-spill")) {
      spill.push_back(
          RunEngine(corpus, flags.spill_threshold, base + "/mw2/", base + "/m2.txt"));
      PrintRun("engine-spill", corpus.size(), spill.back());
    }
    if (one_of("flat-hash")) {
      flat.push_back(RunFlatHashReference(corpus, base + "/m3.txt"));
      PrintRun("flat-hash", corpus.size(), flat.back());
    }
  }
  if (flags.only != "main") return true;  // one configuration, for profiling
  same = vocs::bench::SameFile(base + "/m0.txt", base + "/m3.txt") &&
         vocs::bench::SameFile(base + "/m1.txt", base + "/m3.txt") &&
         vocs::bench::SameFile(base + "/m2.txt", base + "/m3.txt");
  PrintSummary("export", corpus.size(), exported);
  PrintSummary("engine", corpus.size(), engine);
  PrintSummary("engine-spill", corpus.size(), spill);
  PrintSummary("flat-hash", corpus.size(), flat);
  const Summary x = vocs::bench::Summarize(exported);
  const Summary e = vocs::bench::Summarize(engine);
  const Summary s = vocs::bench::Summarize(spill);
  const Summary f = vocs::bench::Summarize(flat);
  std::printf("main: flat-hash / export: wall %.2f, cpu %.2f (target at least 3); "
              "flat-hash / engine: wall %.2f, cpu %.2f\n",
              f.wall / x.wall, f.cpu / x.cpu, f.wall / e.wall, f.cpu / e.cpu);
  std::printf("main: engine-spill / engine: wall %.2f, cpu %.2f (target at most 1.3); "
              "engine-spill / export: wall %.2f, cpu %.2f\n",
              s.wall / e.wall, s.cpu / e.cpu, s.wall / x.wall, s.cpu / x.cpu);
  std::printf("main: peak above inputs: export %.1f MiB, engine %.1f MiB, engine-spill "
              "%.1f MiB, flat-hash %.1f MiB\n",
              x.run_bytes / kMiB, e.run_bytes / kMiB, s.run_bytes / kMiB, f.run_bytes / kMiB);
  std::printf("main: export, engine and engine-spill result files equal flat-hash's: %s\n\n",
              same ? "yes" : "NO");
  return same;
}

void ThresholdRun(const Flags& flags, const std::string& base) {
  CorpusOptions options;
  options.size_bytes = flags.threshold_size_mib << 20;
  options.vocabulary = 5500000;
  options.zipf_exponent = 0;  // uniform, so that more than 5,000,000 are drawn
  CorpusStats stats;
  const std::string corpus = vocs::bench::GenerateCorpus(options, &stats);
  malloc_trim(0);
  std::printf("engine-5M: %.1f MiB, %zu records, %zu terms, %zu distinct (uniform over %zu)\n",
              static_cast<double>(stats.bytes) / kMiB, stats.records, stats.terms,
              stats.distinct_terms, options.vocabulary);
  const Measurement m = RunEngine(corpus, 0, base + "/tw/", base + "/t.txt");
  PrintRun("engine-5M", corpus.size(), m);
  std::printf("engine-5M: peak %.1f MiB above the input (target at most 600)\n",
              m.run_bytes() / kMiB);
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
    } else if (arg == "--library") {
      flags.library = value();
    } else if (arg == "--input") {
      flags.input = value();
    } else if (arg == "--spill-threshold") {
      flags.spill_threshold = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--threshold-size-mib") {
      flags.threshold_size_mib = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--check-size-mib") {
      flags.check_size_mib = std::strtoul(value(), nullptr, 10);
    } else if (arg == "--rounds") {
      flags.rounds = std::max(1, std::atoi(value()));
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
  Flags main_flags = flags;
  if (main_flags.only.empty()) main_flags.only = "main";
  auto wanted = [&](const char* name) { return flags.only.empty() || flags.only == name; };
  bool ok = true;
  if (wanted("check")) ok = Check(flags, base) && ok;
  if (wanted("large-record")) LargeRecord(flags, base);
  if (wanted("one-record")) OneRecord(base);
  if (wanted("main") || flags.only == "export" || flags.only == "engine" || flags.only == "engine-spill" ||
      flags.only == "flat-hash") {
    ok = Main(main_flags, base) && ok;
  }
  if ((flags.only.empty() && !flags.skip_threshold_run) || flags.only == "engine-5M") {
    ThresholdRun(flags, base);
  }
  std::filesystem::remove_all(base);
  return ok ? 0 : 1;
}
