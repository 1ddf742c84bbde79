// RunMerger: reduces sorted runs to one sorted run in which every key occurs
// once, its values folded together by the codec (sums, maxima, minima).
//
// The merge goes in passes of at most kMergeFanIn inputs. Each pass takes
// the newest runs not merged yet and, when fewer are left than fit, tops up
// with the newest intermediate files; it merges them through a loser tree,
// folds the entries of equal keys into one, and writes the result through a
// RunWriter into a new intermediate file. R runs take ceil((R - 1) /
// (kMergeFanIn - 1)) passes. When a single input is left it is the final
// file: moved onto the destination when it is an intermediate file (it lies
// beside the destination), else copied, and copied as well when the move
// fails; every intermediate file is then deleted. The runs themselves are
// left to their owner.
//
// Intermediate files are named directory + N + ".tx2", where directory is
// the destination's directory (up to and including its last separator) and
// N comes from one counter shared by every merge of the process. The name is
// reserved by creating the file exclusively, so merges on other threads or in
// other processes sharing the directory never write the same file.
//
// Failure: an input that cannot be opened or read or whose keys do not
// ascend, an intermediate file that cannot be reserved, opened or fully
// written, or a final move and copy that both fail make Merge return false; a run that silently lacks counts is
// never produced. The intermediate files of a failed pass and the passes
// before it stay on disk; after a failed final step they are deleted (the
// runs still hold everything). Lines the codec does not parse are skipped.
//
// Memory is fixed: one line buffer per input and the output buffer,
// whatever the number of keys. A merger is used by one thread; file access
// goes through CurrentEnv().
#ifndef VOCS_SORTED_RUN_RUN_MERGER_H_
#define VOCS_SORTED_RUN_RUN_MERGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/line_reader.h"
#include "sorted_run/loser_tree.h"
#include "sorted_run/run_codec.h"
#include "sorted_run/run_writer.h"

namespace vocs {

// Inputs of one merge pass.
inline constexpr size_t kMergeFanIn = 20;

// Reserves the name of a new intermediate merge file in `directory`: the
// decimal value taken from `counter` and ".tx2", created empty so that no
// other merge can take it. A number whose file exists already (another
// process sharing the directory gave it out) is passed over. False when no
// file can be made.
bool ReserveMergeFileName(const std::string& directory, std::atomic<int32_t>* counter,
                          std::string* path);

// ReserveMergeFileName with the process's counter of intermediate files,
// for a merge of an engine's own that names its files as RunMerger does.
bool ReserveNextMergeFileName(const std::string& directory, std::string* path);

// The number the next intermediate file of this process will get. Tests
// only: to check that numbering goes on across merges.
int32_t PeekMergeFileNumberForTesting();

// The passes of a merge and what happens to their files, whatever the lines
// are. RunMerger supplies the pass that merges lines.
class MergeSchedule {
 public:
  // Merges the opened inputs into the opened output. False when an input
  // cannot be read or the output cannot be written.
  using Pass = bool (*)(std::vector<std::unique_ptr<LineReader>>* inputs,
                        std::unique_ptr<WritableFile> output);

  // `runs` in the order of creation (oldest first).
  MergeSchedule(std::string destination, std::vector<std::string> runs);
  MergeSchedule(const MergeSchedule&) = delete;
  MergeSchedule& operator=(const MergeSchedule&) = delete;

  // Runs every pass and fills the destination. False when there is no run or
  // any step fails.
  bool Run(Pass pass);

  // Paths of the intermediate files made, in order.
  const std::vector<std::string>& intermediates() const { return intermediates_; }

 private:
  bool RunPass(Pass pass, const std::vector<std::string>& inputs, std::string* output);
  bool FillDestination(const std::string& final_file);

  std::string destination_;
  std::string directory_;
  std::vector<std::string> pending_runs_;
  std::vector<std::string> pending_intermediates_;
  std::vector<std::string> intermediates_;
};

template <RunCodec Codec>
class RunMerger {
 public:
  RunMerger(std::string destination, std::vector<std::string> runs)
      : schedule_(std::move(destination), std::move(runs)) {}

  bool Merge() { return schedule_.Run(&MergePass); }
  const std::vector<std::string>& intermediates() const { return schedule_.intermediates(); }

 private:
  using Entry = typename Codec::Entry;
  using Held = typename Codec::Held;

  // One input of a pass and its current entry, whose views point into the
  // reader's buffer until the cursor advances again.
  struct Cursor {
    LineReader* reader = nullptr;
    Entry entry{};
    bool exhausted = false;

    // Reads up to the next line that parses. False on a read error.
    bool Advance() {
      std::string_view line;
      while (reader->ReadLine(&line)) {
        if (Codec::Parse(line, &entry)) return true;
      }
      exhausted = true;
      return !reader->error();
    }
  };

  static bool MergePass(std::vector<std::unique_ptr<LineReader>>* inputs,
                        std::unique_ptr<WritableFile> output) {
    RunWriter<Codec> writer;
    writer.Open(std::move(output));
    std::vector<Cursor> cursors(inputs->size());
    for (size_t i = 0; i < cursors.size(); ++i) {
      cursors[i].reader = (*inputs)[i].get();
      if (!cursors[i].Advance()) return false;
    }
    auto greater = [&cursors](int a, int b) {
      const Cursor& x = cursors[static_cast<size_t>(a)];
      const Cursor& y = cursors[static_cast<size_t>(b)];
      if (x.exhausted) return !y.exhausted;
      if (y.exhausted) return false;
      return Codec::Compare(x.entry, y.entry) > 0;
    };
    LoserTree<decltype(greater)> tree(static_cast<int>(cursors.size()), greater);
    tree.Build();
    // The folding step: equal keys arrive one after the other and become one
    // held entry, written when a greater key comes. A smaller one means an
    // input out of order, whose equal keys could have passed each other: the
    // pass fails rather than write them twice. This comparison is the
    // writer's order check, so lines go to it with AddInOrder.
    Held held;
    bool holding = false;
    for (;;) {
      const int w = tree.winner();
      Cursor& winner = cursors[static_cast<size_t>(w)];
      if (winner.exhausted) break;
      const int order = holding ? Codec::Compare(Codec::View(held), winner.entry) : -1;
      if (order == 0) {
        Codec::Fold(winner.entry, &held);
      } else if (order < 0) {
        if (holding) {
          writer.AddInOrder(Codec::View(held));
          if (!writer.ok()) return false;
        }
        Codec::Hold(winner.entry, &held);
        holding = true;
      } else {
        return false;
      }
      if (!winner.Advance()) return false;
      tree.Replay(w);
    }
    if (holding) writer.AddInOrder(Codec::View(held));
    return writer.Finish();
  }

  MergeSchedule schedule_;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_RUN_MERGER_H_
