// The keyed selection of the merge: over any number of sources, with keys
// that tie often (the tie-breaker then decides) and sources that run dry at
// different times, the winners come out in the order of a sort of
// everything.
#include "sorted_run/loser_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace vocs {
namespace {

// An item: its key and the value that orders items of equal keys.
using Item = std::pair<uint64_t, int>;

TEST(KeyedLoserTreeTest, WinnersComeOutInSortedOrder) {
  constexpr uint64_t kLast = ~uint64_t{0};
  std::mt19937 rng(5);
  for (int k = 1; k <= 33; ++k) {
    SCOPED_TRACE(k);
    // Keys from a small range so that ties are common, one source empty.
    std::vector<std::vector<Item>> sources(static_cast<size_t>(k));
    std::vector<Item> all;
    for (size_t s = 0; s < sources.size(); ++s) {
      const size_t n = s == 1 ? 0 : rng() % 40;
      for (size_t i = 0; i < n; ++i) {
        sources[s].push_back({rng() % 16, static_cast<int>(rng() % 1000)});
      }
      std::sort(sources[s].begin(), sources[s].end());
      all.insert(all.end(), sources[s].begin(), sources[s].end());
    }
    std::sort(all.begin(), all.end());

    std::vector<size_t> next(sources.size(), 0);
    auto exhausted = [&](int s) { return next[s] == sources[s].size(); };
    auto tie_greater = [&](int a, int b) {
      if (exhausted(a)) return !exhausted(b);
      if (exhausted(b)) return false;
      return sources[a][next[a]].second > sources[b][next[b]].second;
    };
    auto key_of = [&](int s) { return exhausted(s) ? kLast : sources[s][next[s]].first; };
    std::vector<uint64_t> keys;
    for (int s = 0; s < k; ++s) keys.push_back(key_of(s));
    KeyedLoserTree<decltype(tie_greater)> tree(k, tie_greater);
    tree.Build(keys.data());

    std::vector<Item> merged;
    while (!exhausted(tree.winner())) {
      const int w = tree.winner();
      ASSERT_EQ(tree.winner_key(), sources[w][next[w]].first);
      merged.push_back(sources[w][next[w]++]);
      tree.ReplayWinner(key_of(w));
    }
    EXPECT_EQ(merged, all);
  }
}

}  // namespace
}  // namespace vocs
