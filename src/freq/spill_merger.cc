#include "freq/spill_merger.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string_view>

#include "freq/frequency_spill.h"
#include "freq/stat_task.h"
#include "platform/env.h"
#include "platform/line_reader.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"

namespace vocs {

namespace {

// Numbers the intermediate files of every frequency merge in the process.
std::atomic<int32_t> intermediate_counter{0};

// One input of a pass: its reader and the line last read. `term` points into
// the reader's buffer, which stays put until this cursor advances again.
struct MergeCursor {
  std::unique_ptr<LineReader> reader;
  std::string_view term;
  SpillCounts counts;
  bool exhausted = true;

  // Reads up to the next line that parses. False on a read error.
  bool Advance() {
    if (exhausted) return true;
    std::string_view line;
    while (reader->ReadLine(&line)) {
      if (ParseSpillLine(line, &term, &counts)) return true;
    }
    exhausted = true;
    term = {};
    return !reader->error();
  }
};

// Whether cursor a must come out after cursor b: an exhausted cursor sorts
// after every term.
bool Greater(const MergeCursor& a, const MergeCursor& b) {
  if (a.exhausted) return !b.exhausted;
  if (b.exhausted) return false;
  return a.term > b.term;
}

// A loser tree over k cursors: entries 1..k-1 hold the losers of their
// matches, entry 0 the overall winner; -1 marks an entry not filled yet.
class LoserTree {
 public:
  explicit LoserTree(std::vector<MergeCursor>* cursors)
      : cursors_(*cursors), k_(static_cast<int>(cursors->size())), tree_(cursors->size(), -1) {
    for (int s = k_ - 1; s >= 0; --s) Adjust(s);
  }

  int winner() const { return tree_[0]; }

  // Replays the matches of cursor s from its leaf to the root, after it
  // advanced.
  void Adjust(int s) {
    for (int t = (s + k_) / 2; t > 0; t /= 2) {
      int e = tree_[t];
      bool s_loses = e == -1 || (s != -1 && s != e && Greater(cursors_[s], cursors_[e]));
      if (s_loses) {
        tree_[t] = s;
        s = e;
      }
    }
    tree_[0] = s;
  }

 private:
  std::vector<MergeCursor>& cursors_;
  int k_;
  std::vector<int> tree_;
};

// Adds up the lines of one term and writes each term once.
class Accumulator {
 public:
  explicit Accumulator(SpillWriter* writer) : writer_(writer) {}

  void Take(const MergeCursor& c) {
    if (has_line_ && std::string_view(term_) == c.term) {
      counts_.total += c.counts.total;
      counts_.records += c.counts.records;
      counts_.maxCount = std::max(counts_.maxCount, c.counts.maxCount);
      counts_.minCount = std::min(counts_.minCount, c.counts.minCount);
      return;
    }
    Flush();
    term_.assign(c.term);
    counts_ = c.counts;
    has_line_ = true;
  }

  void Flush() {
    if (has_line_) writer_->Add(term_, counts_);
    has_line_ = false;
  }

 private:
  SpillWriter* writer_;
  std::string term_;
  SpillCounts counts_;
  bool has_line_ = false;
};

}  // namespace

SpillMerger::SpillMerger(std::string destination, std::vector<std::string> spill_files)
    : destination_(std::move(destination)), pendingSpills_(std::move(spill_files)) {
  size_t sep = FindLastMbcs(destination_, kPathSeparator);
  if (sep != std::string::npos) directory_ = destination_.substr(0, sep + 1);
}

int32_t SpillMerger::PeekIntermediateNumberForTesting() { return intermediate_counter.load(); }

bool SpillMerger::Merge() {
  if (pendingSpills_.empty()) return false;
  std::string final_file;
  for (;;) {
    // Newest spill files first, topped up with the newest intermediates.
    std::vector<std::string> inputs;
    while (inputs.size() < kMergeFanIn && !pendingSpills_.empty()) {
      inputs.push_back(std::move(pendingSpills_.back()));
      pendingSpills_.pop_back();
    }
    while (inputs.size() < kMergeFanIn && !pendingIntermediates_.empty()) {
      inputs.push_back(std::move(pendingIntermediates_.back()));
      pendingIntermediates_.pop_back();
    }
    if (inputs.size() == 1 && !intermediates_.empty()) {
      final_file = std::move(inputs.front());
      break;
    }
    std::string output;
    if (!ReserveMergeFileName(directory_, &intermediate_counter, &output)) return false;
    intermediates_.push_back(output);  // deleted at the end, or kept after a failure
    if (!MergePass(inputs, output)) return false;
    pendingIntermediates_.push_back(std::move(output));
  }
  Env* env = CurrentEnv();
  // A move, not a copy: the final file is an intermediate in the destination's
  // own directory, and it is deleted right after anyway.
  if (!env->MoveFile(final_file, destination_)) return false;
  for (const std::string& path : intermediates_) {
    if (path != final_file) env->DeleteFile(path);
  }
  return true;
}

bool SpillMerger::MergePass(const std::vector<std::string>& inputs,
                            const std::string& output_path) {
  Env* env = CurrentEnv();
  std::vector<MergeCursor> cursors(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::unique_ptr<SequentialFile> file = env->NewSequentialFile(inputs[i]);
    // An input that cannot be read would silently lose its counts.
    if (!file) return false;
    cursors[i].reader = std::make_unique<LineReader>(std::move(file));
    cursors[i].exhausted = false;
  }
  SpillWriter writer;
  if (!writer.Open(output_path)) return false;
  for (MergeCursor& c : cursors) {
    if (!c.Advance()) return false;
  }
  Accumulator accumulator(&writer);
  LoserTree tree(&cursors);
  for (;;) {
    int w = tree.winner();
    MergeCursor& winner = cursors[static_cast<size_t>(w)];
    if (winner.exhausted) break;
    accumulator.Take(winner);
    if (!winner.Advance()) return false;
    tree.Adjust(w);
  }
  accumulator.Flush();
  return writer.Finish();
}

}  // namespace vocs
