// LoserTree: the k-way selection of a merge. Over k sources, each showing
// its current key, it names the source whose key comes first; after that
// source moves on, Replay finds the next one in about log2(k) comparisons.
//
// Entries 1..k-1 hold the losers of their matches, entry 0 the overall
// winner; -1 marks an entry not filled yet. `greater(a, b)` tells whether
// source a's key comes after source b's; an exhausted source must come
// after every other, so that the winner is exhausted only when all are.
// Among equal keys any one may win.
//
// The tree holds indices only; the sources belong to the caller. One thread.
#ifndef VOCS_SORTED_RUN_LOSER_TREE_H_
#define VOCS_SORTED_RUN_LOSER_TREE_H_

#include <cstddef>
#include <utility>
#include <vector>

namespace vocs {

template <typename Greater>
class LoserTree {
 public:
  LoserTree(int k, Greater greater)
      : k_(k), tree_(static_cast<size_t>(k), -1), greater_(std::move(greater)) {}

  // Plays every match; the sources must all show their first key.
  void Build() {
    for (int& entry : tree_) entry = -1;
    for (int leaf = k_ - 1; leaf >= 0; --leaf) {
      int s = leaf;
      for (int t = (s + k_) / 2; t > 0; t /= 2) {
        const int e = tree_[static_cast<size_t>(t)];
        if (e == -1 || (s != -1 && s != e && greater_(s, e))) {
          tree_[static_cast<size_t>(t)] = s;
          s = e;
        }
      }
      tree_[0] = s;
    }
  }

  int winner() const { return tree_[0]; }

  // Replays the matches of source s from its leaf to the root, after its
  // key changed; every entry is filled (Build has run). The outcome of a
  // match is a selection, not a jump: the keys of a merge are in no order
  // the branch predictor could learn.
  void Replay(int s) {
    for (int t = (s + k_) / 2; t > 0; t /= 2) {
      const int e = tree_[static_cast<size_t>(t)];
      const bool s_loses = greater_(s, e);
      tree_[static_cast<size_t>(t)] = s_loses ? s : e;
      s = s_loses ? e : s;
    }
    tree_[0] = s;
  }

 private:
  int k_;
  std::vector<int> tree_;
  Greater greater_;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_LOSER_TREE_H_
