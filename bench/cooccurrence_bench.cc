// The co-occurrence engine end to end, as a server runs it: libvocs.so loaded
// with dlopen and VOCS_Together called in mode 2 with a host that serves the
// records from memory (--direct drives the same engine through StatJob +
// CooccurrenceTask + CooccurrenceFileWriter instead, which also prints the
// time of its phases and its spills), against two references run on the same
// input in the same program: a pair counter on
// interned ids in an absl::flat_hash_map held wholly in memory (the best
// in-memory design), and an ordered map of string pairs written the obvious
// way (for checking results on small corpora). Every configuration runs in a
// forked child so that its peak memory is its own; engine and flat-hash run
// in turn, round after round, and the summary gives medians and ratios.
//
//   cooccurrence_bench [--size-mib N] [--long-size-mib N] [--vocabulary N]
//                      [--zipf X] [--input PATH] [--rounds N]
//                      [--check-size-kib N] [--dir PATH] [--only NAME]
//                      [--library PATH] [--direct]
//
// Corpora (deterministic): records of 10 to 50 terms ("30"), and records of
// 250 to 350 terms ("300"), terms drawn with Zipf-distributed ranks from the
// shared benchmark vocabulary (ASCII and GBK terms that all pass the term
// rule); or one record per line of --input ("input"), terms joined by "/".
// A record of n terms holds n (n - 1) / 2 pair occurrences. NAME for --only:
// check, 30, 300.
//
// "check" runs the engine, flat-hash and the ordered map over small corpora
// of both shapes and compares the three result files byte for byte; every
// round of the large corpora compares the engine's with flat-hash's.
//
// Pairs per second are the pair occurrences of the corpus over the wall time
// of the whole run: for the engine the call of VOCS_Together (the library is
// loaded before the clock starts; counting, every spill, the merge, and the
// delivery into the result file), for a reference its counting and its
// writing of the same result file.
#include <malloc.h>
#include <unistd.h>

#include <absl/container/flat_hash_map.h>
#include <absl/strings/string_view.h>

#include <algorithm>
#include <charconv>
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
#include "support/loaded_module.h"
#include "support/memory_host.h"
#include "support/peak_memory.h"
#include "support/runs.h"
#include "vocs/vocs.h"

namespace {

using vocs::bench::CorpusOptions;
using vocs::bench::Measurement;
using vocs::bench::Summary;

constexpr double kMiB = 1024.0 * 1024.0;

struct Flags {
  size_t size_mib = 10;
  size_t long_size_mib = 1;
  size_t vocabulary = 100000;
  double zipf = 1.0;
  std::string input;
  int rounds = 3;
  size_t check_size_kib = 512;
  std::string dir = "/tmp";
  std::string only;
  std::string library = VOCS_LIBRARY_PATH;
  bool direct = false;
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

// One engine run, its three phases printed by the child.
Measurement RunEngine(const char* name, const Corpus& corpus, const std::string& work,
                      const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
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
    bool ok = false;
    vocs::bench::Time([&] { ok = job.Run("SELECT body FROM corpus"); }, m);
    if (!ok) {
      std::fprintf(stderr, "%s: run failed with %d\n", name, job.error_code());
      std::exit(1);
    }
    m->distinct = static_cast<double>(CountLines(output) - 1);
    m->spills = env.spills;
    m->passes = env.passes;
    std::printf("  %-10s phases: count %.2f s, finish %.2f s, deliver %.2f s\n", name,
                m->wall - task.finish_seconds - task.deliver_seconds, task.finish_seconds,
                task.deliver_seconds);
    std::fflush(stdout);
  });
}

// One call of VOCS_Together from the library loaded as a server loads it, the
// work directory below `work` and the output at an absolute path. The child's
// peak includes the library's code, which a server pays as well.
Measurement RunExport(const std::string& library, const Corpus& corpus, const std::string& work,
                      const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    const vocs::bench::LoadedModule module = vocs::bench::LoadModuleOrDie(library, work);
    vocs::bench::MemoryHost host(corpus.text);
    int32_t code = 0;
    vocs::bench::Time(
        [&] {
          code = module.together("SELECT body FROM corpus", "body", vocs::kModeNormal, "",
                                 nullptr, 0, nullptr, 0, 0, output.c_str(), &host);
        },
        m);
    if (code != 0) {
      std::fprintf(stderr, "VOCS_Together failed with %d\n", code);
      std::exit(1);
    }
    m->distinct = static_cast<double>(CountLines(output) - 1);
    m->spills = -1;  // the library's file calls are not seen from here
    m->passes = -1;
  });
}

// The engine as the flags choose it: through the export, or driven directly.
Measurement RunEngineAs(const Flags& flags, const Corpus& corpus, const std::string& work,
                        const std::string& output) {
  if (flags.direct) return RunEngine("engine", corpus, work, output);
  return RunExport(flags.library, corpus, work, output);
}

void PrintRun(const char* name, const Corpus& corpus, const Measurement& m) {
  // Negative counts: not seen (the loaded library's file calls).
  const std::string spills = m.spills < 0 ? " -" : std::to_string(m.spills);
  const std::string passes = m.passes < 0 ? "-" : std::to_string(m.passes);
  std::printf("  %-10s wall %7.3f s (cpu %7.3f s) %6.2f M pairs/s  distinct %9.0f  spills %2s "
              "passes %s  peak %7.1f MiB (inputs %5.1f, run %7.1f)\n",
              name, m.wall, m.cpu, static_cast<double>(corpus.pairs) / 1e6 / m.wall, m.distinct,
              spills.c_str(), passes.c_str(), m.peak / kMiB, m.baseline / kMiB,
              m.run_bytes() / kMiB);
  std::fflush(stdout);
}

void AppendValue(double value, std::string* out) {
  char text[40];
  std::snprintf(text, sizeof(text), "%0.4f", value);
  out->append(text);
}

std::string HeaderLine() {
  std::string line;
  for (size_t i = 0; i < vocs::kCooccurrenceFieldCount; ++i) {
    if (i > 0) line += '\t';
    line += vocs::kCooccurrenceFields[i].column_name;
  }
  line += "\r\n";
  return line;
}

// Calls f(begin, end) with the bytes of every term of the record that passes
// the term rule of these corpora, in order.
template <typename F>
void ForEachRecord(const std::string& text, F f) {
  std::vector<std::string_view> terms;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    terms.clear();
    for (size_t cur = pos; cur <= end;) {
      size_t slash = text.find('/', cur);
      if (slash == std::string::npos || slash > end) slash = end;
      std::string_view term(text.data() + cur, slash - cur);
      if (term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41) terms.push_back(term);
      cur = slash + 1;
    }
    f(terms);
    pos = end + 1;
  }
}

// The obvious engine: every pair into an ordered map of string pairs, every
// term into an ordered map of counts, all in memory; then the result file.
Measurement RunMapReference(const Corpus& corpus, const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    std::map<std::pair<std::string, std::string>, int64_t> pairs;
    vocs::bench::Time(
        [&] {
          std::map<std::string, int64_t> term_counts;
          int64_t total = 0;
          ForEachRecord(corpus.text, [&](const std::vector<std::string_view>& terms) {
            for (size_t i = 0; i < terms.size(); ++i) {
              for (size_t j = i + 1; j < terms.size(); ++j) {
                ++pairs[{std::string(terms[i]), std::string(terms[j])}];
                ++term_counts[std::string(terms[i])];
                ++term_counts[std::string(terms[j])];
                total += 2;
              }
            }
          });
          std::ofstream out(output, std::ios::binary);
          out << HeaderLine();
          std::string line;
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
        },
        m);
    m->distinct = static_cast<double>(pairs.size());
  });
}


// The best in-memory design: terms interned to dense ids in a flat hash map,
// each pair counted under the 64-bit key of its two ids in another; at the
// end the ids are ranked by term, the pairs sorted by their ranks, and the
// lines written through one buffer.
Measurement RunFlatHashReference(const Corpus& corpus, const std::string& output) {
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    absl::flat_hash_map<uint64_t, int64_t> pairs;
    vocs::bench::Time(
        [&] {
          absl::flat_hash_map<std::string, uint32_t> ids;
          std::vector<std::string> names;
          std::vector<int64_t> term_counts;
          int64_t total = 0;
          std::vector<uint32_t> record;
          ForEachRecord(corpus.text, [&](const std::vector<std::string_view>& terms) {
            record.clear();
            for (std::string_view term : terms) {
              auto [it, inserted] = ids.try_emplace(absl::string_view(term.data(), term.size()),
                                                    static_cast<uint32_t>(names.size()));
              if (inserted) {
                names.emplace_back(term);
                term_counts.push_back(0);
              }
              record.push_back(it->second);
            }
            const size_t n = record.size();
            for (size_t i = 0; i < n; ++i) {
              const uint64_t a = static_cast<uint64_t>(record[i]) << 32;
              for (size_t j = i + 1; j < n; ++j) ++pairs[a | record[j]];
              term_counts[record[i]] += static_cast<int64_t>(n - 1);
            }
            total += static_cast<int64_t>(n * (n - 1));
          });
          std::vector<uint32_t> order(names.size());
          for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
          std::sort(order.begin(), order.end(),
                    [&](uint32_t a, uint32_t b) { return names[a] < names[b]; });
          std::vector<uint32_t> rank(names.size());
          for (uint32_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
          std::vector<std::pair<uint64_t, int64_t>> sorted;
          sorted.reserve(pairs.size());
          for (const auto& [key, count] : pairs) {
            sorted.emplace_back(static_cast<uint64_t>(rank[key >> 32]) << 32 |
                                    rank[key & 0xFFFFFFFFu],
                                count);
          }
          std::sort(sorted.begin(), sorted.end());
          vocs::bench::ResultOutput out(output);
          out.text() = HeaderLine();
          for (const auto& [key, count] : sorted) {
            const uint32_t a = order[key >> 32];
            const uint32_t b = order[key & 0xFFFFFFFFu];
            const double c = static_cast<double>(count);
            out.text() += names[a];
            out.text() += '\t';
            out.text() += names[b];
            out.text() += '\t';
            out.AppendInt(count);
            out.text() += '\t';
            out.AppendFixed4(c / static_cast<double>(term_counts[a]) * 100);
            out.text() += '\t';
            out.AppendFixed4(static_cast<float>(c / static_cast<double>(term_counts[b]) * 100));
            out.text() += '\t';
            out.AppendFixed4(static_cast<float>(c / static_cast<double>(total) * 100));
            out.EndLine();
          }
        },
        m);
    m->distinct = static_cast<double>(pairs.size());
  });
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
    } else if (arg == "--input") {
      flags.input = value();
    } else if (arg == "--rounds") {
      flags.rounds = std::max(1, std::atoi(value()));
    } else if (arg == "--library") {
      flags.library = value();
    } else if (arg == "--direct") {
      flags.direct = true;
    } else if (arg == "--check-size-kib") {
      flags.check_size_kib = std::strtoul(value(), nullptr, 10);
    } else {
      std::fprintf(stderr, "unknown flag %s\n", argv[i]);
      std::exit(2);
    }
  }
  return flags;
}

Corpus ReadCorpus(const std::string& path) {
  Corpus corpus;
  corpus.text = vocs::bench::ReadInputFile(path);
  if (!corpus.text.empty() && corpus.text.back() != '\n') corpus.text.push_back('\n');
  ForEachRecord(corpus.text, [&](const std::vector<std::string_view>& terms) {
    ++corpus.records;
    corpus.terms += terms.size();
    corpus.pairs += terms.size() * (terms.size() - (terms.empty() ? 0 : 1)) / 2;
  });
  return corpus;
}

void Describe(const char* label, const Corpus& corpus) {
  std::printf("corpus %s: %.2f MiB, %zu records, %zu terms, %zu pairs\n", label,
              static_cast<double>(corpus.text.size()) / kMiB, corpus.records, corpus.terms,
              corpus.pairs);
  std::fflush(stdout);
}

// The three counters over small corpora of both shapes; false when a result
// file differs from the ordered map's.
bool Check(const Flags& flags, const std::string& base) {
  bool same = true;
  const RecordShape shapes[] = {{10, 50}, {250, 350}};
  for (const RecordShape& shape : shapes) {
    const size_t bytes = (flags.check_size_kib << 10) / (shape.max_terms > 100 ? 8 : 1);
    const Corpus corpus = MakeCorpus(bytes, shape, flags, 2);
    Describe(shape.max_terms > 100 ? "check-300" : "check-30", corpus);
    PrintRun("engine", corpus, RunEngineAs(flags, corpus, base + "/cw/", base + "/c1.txt"));
    PrintRun("flat-hash", corpus, RunFlatHashReference(corpus, base + "/c2.txt"));
    PrintRun("std::map", corpus, RunMapReference(corpus, base + "/c3.txt"));
    same = same && vocs::bench::SameFile(base + "/c1.txt", base + "/c3.txt") &&
           vocs::bench::SameFile(base + "/c2.txt", base + "/c3.txt");
  }
  std::printf("check: engine and flat-hash result files equal the ordered map's: %s\n\n",
              same ? "yes" : "NO");
  return same;
}

// Engine and flat-hash in turn over one corpus; false when their result
// files differ.
bool Compare(const Flags& flags, const std::string& base, const char* label,
             const Corpus& corpus) {
  Describe(label, corpus);
  std::vector<Measurement> engine, flat;
  bool same = true;
  const std::string engine_file = base + "/engine.txt";
  const std::string flat_file = base + "/flat.txt";
  for (int r = 0; r < flags.rounds; ++r) {
    engine.push_back(RunEngineAs(flags, corpus, base + "/work/", engine_file));
    PrintRun("engine", corpus, engine.back());
    flat.push_back(RunFlatHashReference(corpus, flat_file));
    PrintRun("flat-hash", corpus, flat.back());
    same = same && vocs::bench::SameFile(engine_file, flat_file);
    // Each round writes new files: truncating the last round's (hundreds
    // of MiB, some not yet on disk) would be timed as part of the run.
    std::filesystem::remove(engine_file);
    std::filesystem::remove(flat_file);
  }
  const Summary e = vocs::bench::Summarize(engine);
  const Summary f = vocs::bench::Summarize(flat);
  const double pairs = static_cast<double>(corpus.pairs) / 1e6;
  std::printf("%s: medians of %d: engine (%s) %.3f s (cpu %.3f, %.2f M pairs/s), flat-hash %.3f s "
              "(cpu %.3f, %.2f M pairs/s); flat-hash / engine: wall %.2f, cpu %.2f (target at "
              "least 2); peak above inputs: engine %.1f MiB, flat-hash %.1f MiB (target: "
              "engine less); result files equal: %s\n\n",
              label, flags.rounds, flags.direct ? "direct" : "VOCS_Together", e.wall, e.cpu,
              pairs / e.wall, f.wall, f.cpu, pairs / f.wall,
              f.wall / e.wall, f.cpu / e.cpu, e.run_bytes / kMiB, f.run_bytes / kMiB,
              same ? "yes" : "NO");
  std::fflush(stdout);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  const Flags flags = ParseFlags(argc, argv);
  const std::string base = flags.dir + "/vocs-cooccurrence-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(base);
  auto wanted = [&](const char* name) { return flags.only.empty() || flags.only == name; };
  bool ok = true;
  if (wanted("check")) ok = Check(flags, base) && ok;
  if (!flags.input.empty()) {
    ok = Compare(flags, base, "input", ReadCorpus(flags.input)) && ok;
  } else {
    if (wanted("30")) {
      const Corpus corpus = MakeCorpus(flags.size_mib << 20, RecordShape{10, 50}, flags, 1);
      malloc_trim(0);
      ok = Compare(flags, base, "30", corpus) && ok;
    }
    if (wanted("300")) {
      const Corpus corpus = MakeCorpus(flags.long_size_mib << 20, RecordShape{250, 350}, flags, 1);
      malloc_trim(0);
      ok = Compare(flags, base, "300", corpus) && ok;
    }
  }
  std::filesystem::remove_all(base);
  return ok ? 0 : 1;
}
