// The merge of partial results against the merge of one run's spill files,
// on the frequency benchmark's corpus (bench/README.md).
//
// One run over the whole corpus with a low spill threshold leaves its spill
// files on disk (no writer, so nothing is delivered or removed); the same
// corpus split into N contiguous shards, each run ending in a partial
// result, gives N partials. Then, alternating for --rounds rounds:
//
//   spills    RunMerger over the run's spill files into one result file;
//   partials  FrequencyTask::DeliverPartials over the N partials without a
//             writer: every partial read and checked in full, then merged
//             into one result file (the same RunMerger).
//
// Both results are compared after the last round: the partials' merge must
// hold the same lines as the spill files' merge. Reports median wall and CPU
// times and their ratio.
//
//   partial_merge_bench [--size-mib 200] [--shards 64] [--spill-threshold 260000]
//                       [--rounds 3] [--dir /tmp]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "freq/frequency_task.h"
#include "freq/term_line.h"
#include "job/stat_job.h"
#include "sorted_run/partial_file.h"
#include "sorted_run/run_merger.h"
#include "support/corpus.h"
#include "support/memory_host.h"

namespace {

namespace fs = std::filesystem;

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
  return Timing{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                CpuSeconds() - cpu};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

uint64_t FileBytes(const std::string& path) {
  std::error_code ec;
  const uint64_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

// Runs the frequency engine over `corpus`: ending in a partial at `partial`
// when given, else leaving its spill files (returned) on disk.
std::vector<std::string> Count(const std::string& corpus, const std::string& work,
                               size_t threshold, const std::string& partial, int32_t shard,
                               int32_t shards) {
  vocs::bench::MemoryHost host(corpus);
  vocs::StatJob job;
  job.SetHost(&host);
  job.AddFieldSource("body", vocs::kModeNormal, nullptr);
  vocs::FrequencyTask task;
  task.SetTempDir(work.c_str());
  if (threshold > 0) task.SetSpillThresholdForTesting(threshold);
  if (!partial.empty()) {
    vocs::PartialHeader header;
    header.shard = shard;
    header.shards = shards;
    task.SetPartialOutput(partial, header);
  }
  job.SetFrequencyTask(&task);
  if (!job.Run("select body from corpus")) {
    std::fprintf(stderr, "run failed: %d %s\n", job.error_code(), task.partial_error().c_str());
    std::exit(1);
  }
  return task.spillFiles();
}

}  // namespace

int main(int argc, char** argv) {
  size_t size_mib = 200;
  int32_t shards = 64;
  size_t threshold = 260000;
  int rounds = 3;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--size-mib") size_mib = std::strtoul(value, nullptr, 10);
    else if (flag == "--shards") shards = static_cast<int32_t>(std::strtol(value, nullptr, 10));
    else if (flag == "--spill-threshold") threshold = std::strtoul(value, nullptr, 10);
    else if (flag == "--rounds") rounds = static_cast<int>(std::strtol(value, nullptr, 10));
    else if (flag == "--dir") dir = value;
  }
  const std::string base = dir + "/vocs-partial-merge-bench";
  fs::remove_all(base);
  fs::create_directories(base + "/run");
  fs::create_directories(base + "/shards");

  vocs::bench::CorpusOptions options;
  options.size_bytes = size_mib << 20;
  vocs::bench::CorpusStats stats;
  const std::string corpus = vocs::bench::GenerateCorpus(options, &stats);
  std::printf("corpus: %.1f MiB, %zu records, %zu terms, %zu distinct\n",
              static_cast<double>(stats.bytes) / (1 << 20), stats.records, stats.terms,
              stats.distinct_terms);

  const std::vector<std::string> spills = Count(corpus, base + "/run/", threshold, "", 0, 0);
  uint64_t spill_bytes = 0;
  for (const std::string& s : spills) spill_bytes += FileBytes(s);

  // Contiguous ranges of lines, as the command splits a query's records.
  std::vector<size_t> line_starts = {0};
  for (size_t p = corpus.find('\n'); p != std::string::npos; p = corpus.find('\n', p + 1)) {
    if (p + 1 < corpus.size()) line_starts.push_back(p + 1);
  }
  std::vector<std::string> partials;
  uint64_t partial_bytes = 0;
  const size_t lines = line_starts.size();
  for (int32_t k = 1; k <= shards; ++k) {
    const size_t first = lines * static_cast<size_t>(k - 1) / static_cast<size_t>(shards);
    const size_t end = lines * static_cast<size_t>(k) / static_cast<size_t>(shards);
    const size_t begin_byte = line_starts[first];
    const size_t end_byte = end < lines ? line_starts[end] : corpus.size();
    const std::string partial = base + "/shards/part-" + std::to_string(k);
    Count(corpus.substr(begin_byte, end_byte - begin_byte), base + "/shards/work/", 0, partial, k,
          shards);
    partials.push_back(partial);
    partial_bytes += FileBytes(partial);
  }
  std::printf("one run: %zu spill files, %.1f MiB; %d shards: %zu partials, %.1f MiB\n",
              spills.size(), static_cast<double>(spill_bytes) / (1 << 20), shards,
              partials.size(), static_cast<double>(partial_bytes) / (1 << 20));

  // What reading and checking the partials alone costs.
  const Timing check = Measure([&] {
    for (const std::string& partial : partials) {
      vocs::PartialHeader header;
      std::string error;
      if (!vocs::ReadPartialFile(
              partial, &header, [](std::string_view, int64_t) { return true; }, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
      }
    }
  });
  std::printf("reading and checking the partials: %.2f s (cpu %.2f)\n", check.wall, check.cpu);

  std::vector<double> spill_wall, spill_cpu, partial_wall, partial_cpu;
  std::string spill_result, partial_result;
  for (int round = 0; round < rounds; ++round) {
    spill_result = base + "/run/merged-" + std::to_string(round);
    const Timing a = Measure([&] {
      vocs::RunMerger<vocs::TermLineCodec> merger(spill_result, spills, vocs::RunForm::kBinary);
      if (!merger.Merge()) std::exit(1);
    });
    spill_wall.push_back(a.wall);
    spill_cpu.push_back(a.cpu);
    std::string result_path;
    const Timing b = Measure([&] {
      vocs::FrequencyTask task;
      task.SetTempDir((base + "/merge-" + std::to_string(round) + "/").c_str());
      if (task.DeliverPartials(partials) != 0) {
        std::fprintf(stderr, "merge failed: %s\n", task.partial_error().c_str());
        std::exit(1);
      }
      result_path = task.resultPath();
    });
    partial_wall.push_back(b.wall);
    partial_cpu.push_back(b.cpu);
    partial_result = result_path;
    std::printf("round %d: spills %.2f s (cpu %.2f), partials %.2f s (cpu %.2f)\n", round + 1,
                a.wall, a.cpu, b.wall, b.cpu);
    if (round + 1 < rounds) {
      fs::remove(spill_result);
      fs::remove_all(base + "/merge-" + std::to_string(round));
    }
  }
  // The same lines either way.
  std::ifstream x(spill_result, std::ios::binary), y(partial_result, std::ios::binary);
  const std::string xs((std::istreambuf_iterator<char>(x)), std::istreambuf_iterator<char>());
  const std::string ys((std::istreambuf_iterator<char>(y)), std::istreambuf_iterator<char>());
  const bool same = !xs.empty() && xs == ys;
  std::printf("median: spills %.2f s (cpu %.2f), partials %.2f s (cpu %.2f); ratio wall %.2f, "
              "cpu %.2f; results %s\n",
              Median(spill_wall), Median(spill_cpu), Median(partial_wall), Median(partial_cpu),
              Median(partial_wall) / Median(spill_wall), Median(partial_cpu) / Median(spill_cpu),
              same ? "identical" : "DIFFER");
  fs::remove_all(base);
  return same ? 0 : 1;
}
