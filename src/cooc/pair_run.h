// Pair runs: the binary format of the co-occurrence spill files, and their
// merge into the result file of pair lines (cooc/pair_line.h).
//
// A spill file is only ever read back by the task that wrote it, in the same
// run, with the same TermIdTable, so it holds ids instead of term bytes: a
// sequence of 16-byte records {id1, id2: uint32; count: int64} in the
// machine's byte order, every pair once, in ascending unsigned byte order of
// (term1, term2). Ids never change during a run, and a term added after a
// spill sorts between the terms around it, so a run written at any point
// reads back in order under the ranks of the run's last UpdateOrder. Neither
// writing nor merging formats or parses a number or compares term bytes.
//
// A file is trusted no further than the checks of PairRunReader: a length
// that is not a whole number of records, an id the table does not have, a
// count below 1, or a pair that does not sort after the one before it make
// the merge fail, so that no count is delivered twice or from another run.
//
// One thread; file access goes through CurrentEnv().
#ifndef VOCS_COOC_PAIR_RUN_H_
#define VOCS_COOC_PAIR_RUN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cooc/term_id_table.h"
#include "platform/env.h"
#include "sorted_run/loser_tree.h"
#include "sorted_run/run_codec.h"

namespace vocs {

struct PairRecord {
  uint32_t id1;
  uint32_t id2;
  int64_t count;
};
static_assert(sizeof(PairRecord) == 16);

// Writes one run: Open, Add in the order of the run, Finish. Failure is
// sticky; Finish returns false when anything failed since Open.
class PairRunWriter {
 public:
  PairRunWriter();
  // Writes to a file the caller has opened (null: the open failed).
  bool Open(std::unique_ptr<WritableFile> file);
  void Add(uint32_t id1, uint32_t id2, int64_t count) {
    if (fill_ == buffer_.size()) Flush();
    buffer_[fill_++] = PairRecord{id1, id2, count};
  }
  bool Finish();

 private:
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::vector<PairRecord> buffer_;
  size_t fill_ = 0;
  bool ok_ = false;
};

// Reads one run and shows each pair as the integer key
// (Rank(id1) << bits) | Rank(id2), which orders pairs as their terms do.
class PairRunReader {
 public:
  // `terms` must have been brought up to date (UpdateOrder) since the last
  // term was added, and `bits` be wide enough for every rank.
  PairRunReader(const TermIdTable* terms, int bits) : terms_(terms), bits_(bits) {}

  // False when the file does not open.
  bool Open(const std::string& path);
  // Moves to the next pair. False at the end of the run or on a failure
  // (failed() tells which).
  bool Next();

  uint64_t key() const { return key_; }
  int64_t count() const { return count_; }
  bool failed() const { return failed_; }

 private:
  // Reads the next records and turns them into keys, all at once so that
  // the rank lookups of many records are under way together.
  bool Fill();

  const TermIdTable* terms_;
  int bits_;
  std::unique_ptr<SequentialFile> file_;
  std::vector<PairRecord> buffer_;
  std::vector<uint64_t> keys_;  // the key of each record of the buffer
  size_t next_ = 0;
  size_t end_ = 0;
  // The first record of the buffer that fails a check, else end_: the
  // records before it are still read, and Next fails when it reaches it.
  size_t bad_at_ = 0;
  size_t partial_bytes_ = 0;  // bytes of an incomplete record at the buffer's end
  uint64_t last_key_ = 0;     // of the last record checked
  bool started_ = false;      // whether a record has been checked
  bool failed_ = false;
  uint64_t key_ = 0;
  int64_t count_ = 0;
};

// The width of the rank keys for a table of `terms` terms.
int RankBits(size_t terms);

// Merges the runs at `paths` (any number, none included) into one sorted
// sequence in which every pair occurs once, its counts added (AddCounts),
// and calls emit(key, count) for each in order, the key as PairRunReader
// makes it. False when a run cannot be opened or read or fails a check, or
// when emit returns false.
template <typename Emit>
bool MergePairRuns(const TermIdTable& terms, const std::vector<std::string>& paths, Emit emit) {
  // Past every real key: ranks stay below 2^32 - 1.
  constexpr uint64_t kExhausted = ~uint64_t{0};
  const int bits = RankBits(terms.size());
  std::vector<PairRunReader> readers;
  readers.reserve(paths.size());
  std::vector<uint64_t> heads(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    readers.emplace_back(&terms, bits);
    if (!readers[i].Open(paths[i])) return false;
    heads[i] = readers[i].Next() ? readers[i].key() : kExhausted;
    if (readers[i].failed()) return false;
  }
  if (readers.empty()) return true;
  auto greater = [&heads](int a, int b) {
    return heads[static_cast<size_t>(a)] > heads[static_cast<size_t>(b)];
  };
  LoserTree<decltype(greater)> tree(static_cast<int>(readers.size()), greater);
  tree.Build();
  uint64_t held_key = kExhausted;
  int64_t held_count = 0;
  for (;;) {
    const int w = tree.winner();
    const size_t s = static_cast<size_t>(w);
    const uint64_t key = heads[s];
    if (key == kExhausted) break;
    // Each run ascends strictly (the reader checks), so the winners never
    // descend: a key is either the held one again or a greater one.
    if (key == held_key) {
      held_count = AddCounts(held_count, readers[s].count());
    } else {
      if (held_key != kExhausted && !emit(held_key, held_count)) return false;
      held_key = key;
      held_count = readers[s].count();
    }
    if (readers[s].Next()) {
      heads[s] = readers[s].key();
    } else {
      if (readers[s].failed()) return false;
      heads[s] = kExhausted;
    }
    tree.Replay(w);
  }
  return held_key == kExhausted || emit(held_key, held_count);
}

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_RUN_H_
