// Deterministic synthetic corpora for the benchmarks.
//
// A corpus is a sequence of records, one per line (LF), each record a run of
// terms joined by "/", the form the host's text conversion hands the engines
// in mode 2. Terms are drawn from a fixed vocabulary with Zipf-distributed
// ranks (exponent 1.0 by default; 0 draws uniformly). About ascii_share of the
// vocabulary are lower-case ASCII words of four to eight letters; the others
// are GBK terms of two to four characters (45, 35 and 20 %) with lead bytes
// 0xB0..0xD7 and trail bytes 0xA1..0xFE (the first-level hanzi block). Every vocabulary entry passes
// the engines' term rule, and no two are equal.
//
// The same options give the same bytes on every machine: the generator is a
// fixed 64-bit PRNG (splitmix64), not the standard library's distributions.
//
// Thread-compatible; the generator allocates the whole corpus in memory.
#ifndef VOCS_BENCH_SUPPORT_CORPUS_H_
#define VOCS_BENCH_SUPPORT_CORPUS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vocs::bench {

struct CorpusOptions {
  size_t size_bytes = 200u << 20;  // the corpus stops at the first record past this size
  size_t vocabulary = 2000000;     // distinct terms that can be drawn
  double zipf_exponent = 1.0;      // 0: uniform
  size_t terms_per_record = 40;    // mean; records hold 1 .. 2 * mean - 1 terms
  double ascii_share = 0.10;       // share of ASCII words in the vocabulary
  uint64_t seed = 1;
};

// What a generated corpus holds.
struct CorpusStats {
  size_t bytes = 0;
  size_t records = 0;
  size_t terms = 0;           // term occurrences
  size_t distinct_terms = 0;  // vocabulary entries drawn at least once
};

// The vocabulary of the options, rank 0 (the most frequent) first.
std::vector<std::string> MakeVocabulary(const CorpusOptions& options);

// Generates the corpus. `stats` may be null.
std::string GenerateCorpus(const CorpusOptions& options, CorpusStats* stats);

// The 64-bit generator the corpus is drawn with.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

}  // namespace vocs::bench

#endif  // VOCS_BENCH_SUPPORT_CORPUS_H_
