#include "support/corpus.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace vocs::bench {

namespace {

std::string RandomGbkTerm(SplitMix64* rng) {
  // Two characters most often, as in Chinese text: 45 %, 35 %, 20 %.
  const uint64_t roll = rng->Below(100);
  const size_t chars = roll < 45 ? 2 : roll < 80 ? 3 : 4;
  std::string term;
  for (size_t i = 0; i < chars; ++i) {
    term.push_back(static_cast<char>(0xB0 + rng->Below(0xD7 - 0xB0 + 1)));
    term.push_back(static_cast<char>(0xA1 + rng->Below(0xFE - 0xA1 + 1)));
  }
  return term;
}

std::string RandomAsciiWord(SplitMix64* rng) {
  const size_t letters = 4 + rng->Below(5);
  std::string word;
  for (size_t i = 0; i < letters; ++i) word.push_back(static_cast<char>('a' + rng->Below(26)));
  return word;
}

// Cumulative Zipf weights of ranks 0..n-1, normalised to end at 1.
std::vector<double> ZipfTable(size_t n, double exponent) {
  std::vector<double> cdf(n);
  double sum = 0;
  for (size_t r = 0; r < n; ++r) {
    sum += exponent == 0 ? 1.0 : 1.0 / std::pow(static_cast<double>(r + 1), exponent);
    cdf[r] = sum;
  }
  for (double& c : cdf) c /= sum;
  return cdf;
}

}  // namespace

std::vector<std::string> MakeVocabulary(const CorpusOptions& options) {
  SplitMix64 rng(options.seed * 0x2545F4914F6CDD1Dull + 17);
  std::vector<std::string> vocabulary;
  vocabulary.reserve(options.vocabulary);
  std::unordered_set<std::string> seen;
  seen.reserve(options.vocabulary);
  while (vocabulary.size() < options.vocabulary) {
    std::string term = rng.Unit() < options.ascii_share ? RandomAsciiWord(&rng)
                                                        : RandomGbkTerm(&rng);
    if (seen.insert(term).second) vocabulary.push_back(std::move(term));
  }
  return vocabulary;
}

std::string GenerateCorpus(const CorpusOptions& options, CorpusStats* stats) {
  const std::vector<std::string> vocabulary = MakeVocabulary(options);
  const std::vector<double> cdf = ZipfTable(vocabulary.size(), options.zipf_exponent);
  std::vector<bool> drawn(vocabulary.size(), false);
  SplitMix64 rng(options.seed);
  CorpusStats local;
  std::string corpus;
  corpus.reserve(options.size_bytes + 4096);
  const size_t mean = std::max<size_t>(options.terms_per_record, 1);
  while (corpus.size() < options.size_bytes) {
    const size_t terms = 1 + rng.Below(2 * mean - 1);
    for (size_t k = 0; k < terms; ++k) {
      size_t rank = static_cast<size_t>(std::lower_bound(cdf.begin(), cdf.end(), rng.Unit()) -
                                        cdf.begin());
      if (rank >= vocabulary.size()) rank = vocabulary.size() - 1;
      if (k > 0) corpus.push_back('/');
      corpus.append(vocabulary[rank]);
      if (!drawn[rank]) {
        drawn[rank] = true;
        ++local.distinct_terms;
      }
    }
    corpus.push_back('\n');
    local.terms += terms;
    ++local.records;
  }
  local.bytes = corpus.size();
  if (stats != nullptr) *stats = local;
  return corpus;
}

}  // namespace vocs::bench
