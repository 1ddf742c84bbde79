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
#include <cstdint>
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

// KeyedLoserTree: a LoserTree whose sources show 64-bit keys, held in the
// tree's entries beside the source indices, so that a replay compares the
// climbing key with each entry's key in place instead of fetching the keys
// of two sources per match. Keys order the sources; `tie_greater(a, b)`
// decides between sources a and b of equal keys (whether a comes after b),
// and must put an exhausted source after every other.
template <typename TieGreater>
class KeyedLoserTree {
 public:
  KeyedLoserTree(int k, TieGreater tie_greater)
      : k_(k), nodes_(static_cast<size_t>(k)), tie_greater_(std::move(tie_greater)) {}

  // Plays every match; keys[s] is source s's first key.
  void Build(const uint64_t* keys) {
    for (Node& node : nodes_) node = Node{0, -1};
    for (int leaf = k_ - 1; leaf >= 0; --leaf) {
      Node climbing{keys[leaf], leaf};
      for (int t = (leaf + k_) / 2; t > 0; t /= 2) {
        Node& node = nodes_[static_cast<size_t>(t)];
        if (node.source == -1 || (climbing.source != -1 && Loses(climbing, node))) {
          std::swap(node, climbing);
        }
      }
      nodes_[0] = climbing;
    }
  }

  int winner() const { return nodes_[0].source; }
  uint64_t winner_key() const { return nodes_[0].key; }

  // Replays the matches of the winner, whose key is now `key`.
  void ReplayWinner(uint64_t key) {
    Node climbing{key, nodes_[0].source};
    for (int t = (climbing.source + k_) / 2; t > 0; t /= 2) {
      Node& node = nodes_[static_cast<size_t>(t)];
      const Node held = node;
      // A selection, not a jump: merge keys follow no pattern a branch
      // predictor could learn.
      const bool climbing_loses = Loses(climbing, held);
      node.key = climbing_loses ? climbing.key : held.key;
      node.source = climbing_loses ? climbing.source : held.source;
      climbing.key = climbing_loses ? held.key : climbing.key;
      climbing.source = climbing_loses ? held.source : climbing.source;
    }
    nodes_[0] = climbing;
  }

 private:
  struct Node {
    uint64_t key;
    int source;
  };
  // Whether a comes after b.
  bool Loses(const Node& a, const Node& b) {
    if (a.key != b.key) return a.key > b.key;
    return tie_greater_(a.source, b.source);
  }

  int k_;
  std::vector<Node> nodes_;
  TieGreater tie_greater_;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_LOSER_TREE_H_
