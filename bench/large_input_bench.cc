// Memory of the frequency engine on the inputs that stress the record path:
// one very long record (mode 2, NORMAL, and mode 1, SEGASCOL, at "/"), ten
// million tiny records, and one term of 1 MiB (modes 0 and 2). The real
// StatJob + FrequencyTask + FrequencyFileWriter run over the memory host,
// each configuration in a forked child (support/peak_memory.h); the figure
// is the child's peak above its resident size at the start (which holds the
// input and the host's index of its records), and its ratio to the input. The reference is the input's own size:
// a run that held only the record once more would show 1.0.
//
// The host's text conversion is the identity here (the records are already
// terms joined by "/"); the ICU segmentation of the embedded host is measured
// with the vocs command (bench/README.md, "Large inputs").
//
//   large_input_bench [--record-mib 100] [--tiny-records 10000000] [--dir /tmp]
//                     [--only long-record|tiny-records|long-term]
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "freq/frequency_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "support/corpus.h"
#include "support/memory_host.h"
#include "support/runs.h"

namespace {

using vocs::bench::Measurement;

constexpr double kMiB = 1024.0 * 1024.0;

struct Flags {
  size_t record_mib = 100;
  size_t tiny_records = 10000000;
  std::string dir = "/tmp";
  std::string only;
};

Flags ParseFlags(int argc, char** argv) {
  Flags flags;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--record-mib") {
      flags.record_mib = std::strtoull(value, nullptr, 10);
    } else if (name == "--tiny-records") {
      flags.tiny_records = std::strtoull(value, nullptr, 10);
    } else if (name == "--dir") {
      flags.dir = value;
    } else if (name == "--only") {
      flags.only = value;
    } else {
      std::fprintf(stderr, "unknown flag %s\n", name.c_str());
      std::exit(2);
    }
  }
  return flags;
}

// One run over the corpus's lines as records of field "body" in `mode`. The
// host (its index of the lines) is built before the child starts, so that it
// counts with the input.
Measurement RunOnce(const std::string& corpus, int32_t mode, const char* mode_text,
                    const std::string& work, const std::string& output) {
  vocs::bench::MemoryHost host(corpus);
  malloc_trim(0);
  return vocs::bench::MeasureInChild([&](Measurement* m) {
    bool ok = false;
    vocs::bench::Time(
        [&] {
          vocs::StatJob job;
          job.SetHost(&host);
          job.AddFieldSource("body", mode, mode_text);
          vocs::FrequencyFileWriter writer;
          vocs::FrequencyTask task;
          task.SetTempDir(work.c_str());
          task.SetOutputName(output);
          task.SetWriter(&writer);
          job.SetFrequencyTask(&task);
          ok = job.Run("SELECT body FROM corpus");
          if (!ok) std::fprintf(stderr, "run failed with %d\n", job.error_code());
        },
        m);
    if (!ok) std::exit(1);
  });
}

void Report(const char* name, size_t input_bytes, const Measurement& m) {
  std::printf("%-28s input %8.1f MiB  run %8.1f MiB  run/input %6.2f  cpu %6.2f s  wall %6.2f s\n",
              name, input_bytes / kMiB, m.run_bytes() / kMiB,
              m.run_bytes() / static_cast<double>(input_bytes), m.cpu, m.wall);
  std::fflush(stdout);
}

// A corpus of generated records joined into one record: terms joined by
// "/" over a vocabulary of 2,000,000 (Zipf 1.0), `mib` MiB long.
std::string LongRecord(size_t mib) {
  vocs::bench::CorpusOptions options;
  options.size_bytes = mib << 20;
  std::string text = vocs::bench::GenerateCorpus(options, nullptr);
  text.resize(options.size_bytes);
  for (char& c : text) {
    if (c == '\n') c = '/';
  }
  text += '\n';
  return text;
}

void LongRecordRuns(const Flags& flags, const std::string& base) {
  const std::string corpus = LongRecord(flags.record_mib);
  malloc_trim(0);
  const size_t record = corpus.size() - 1;
  Report("long record, NORMAL", record,
         RunOnce(corpus, vocs::kModeNormal, nullptr, base + "/w1/", base + "/r1.txt"));
  Report("long record, SEGASCOL \"/\"", record,
         RunOnce(corpus, vocs::kModeDelimited, "/", base + "/w2/", base + "/r2.txt"));
  if (!vocs::bench::SameFile(base + "/r1.txt", base + "/r2.txt")) {
    std::printf("the two modes' results differ\n");
  }
}

void TinyRecordRuns(const Flags& flags, const std::string& base) {
  // One term of five to eight letters per record, from 100,000 words.
  std::string corpus;
  corpus.reserve(flags.tiny_records * 8);
  vocs::bench::SplitMix64 random(7);
  for (size_t i = 0; i < flags.tiny_records; ++i) {
    uint64_t word = random.Below(100000);
    const int length = 5 + static_cast<int>(random.Below(4));
    for (int k = 0; k < length; ++k, word /= 7) corpus += static_cast<char>('a' + word % 26);
    corpus += '\n';
  }
  malloc_trim(0);
  Report("tiny records, NORMAL", corpus.size(),
         RunOnce(corpus, vocs::kModeNormal, nullptr, base + "/w3/", base + "/r3.txt"));
}

void LongTermRuns(const std::string& base) {
  std::string corpus;
  for (size_t i = 0; corpus.size() < (size_t{1} << 20); ++i) {
    corpus += static_cast<char>('a' + i % 26);
  }
  const size_t term = corpus.size();
  corpus += '\n';
  Report("1 MiB term, NONE", term,
         RunOnce(corpus, vocs::kModeNone, nullptr, base + "/w4/", base + "/r4.txt"));
  Report("1 MiB term, NORMAL", term,
         RunOnce(corpus, vocs::kModeNormal, nullptr, base + "/w5/", base + "/r5.txt"));
}

}  // namespace

int main(int argc, char** argv) {
  const Flags flags = ParseFlags(argc, argv);
  const std::string base = flags.dir + "/vocs-large-input-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(base);
  auto wanted = [&](const char* name) { return flags.only.empty() || flags.only == name; };
  if (wanted("long-record")) LongRecordRuns(flags, base);
  if (wanted("tiny-records")) TinyRecordRuns(flags, base);
  if (wanted("long-term")) LongTermRuns(base);
  std::filesystem::remove_all(base);
  return 0;
}
