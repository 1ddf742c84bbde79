// RunMerger: reduces sorted runs to one sorted run in which every key occurs
// once, its values folded together by the codec (sums, maxima, minima).
//
// The merge goes in passes of at most kMergeFanIn inputs. Each pass takes
// the newest runs not merged yet and, when fewer are left than fit, tops up
// with the newest intermediate files; it merges them through a loser tree
// (over the codec's integer keys where it has them), folds the entries of
// equal keys into one, and writes the result into a new intermediate file,
// the last pass in lines through a RunWriter. R runs take ceil((R - 1) /
// (kMergeFanIn - 1)) passes. When a single input is left it is the final
// file: moved onto the destination when it is an intermediate file (it lies
// beside the destination), else copied, and copied as well when the move
// fails; every intermediate file is then deleted. A single run in a binary
// form goes through one pass instead, which writes it as lines. The runs
// themselves are left to their owner.
//
// Runs are lines, or the binary form of a codec that has one (RunForm);
// both are read through the same cursor and merged by the same loop.
//
// Intermediate files are named directory + N + ".tx2", where directory is
// the destination's directory (up to and including its last separator) and
// N comes from one counter shared by every merge of the process. The name is
// reserved by creating the file exclusively, so merges on other threads or in
// other processes sharing the directory never write the same file.
//
// Failure: an input that cannot be opened or read or whose keys do not
// ascend, a binary input its reader refuses, an intermediate file that
// cannot be reserved, opened or fully written, or a final move and copy that
// both fail make Merge return false; a run that silently lacks counts is
// never produced. The intermediate files of a failed pass and the passes
// before it stay on disk; after a failed final step they are deleted (the
// runs still hold everything). Lines the codec does not parse are skipped.
//
// Memory is fixed: one read buffer per input and the output buffer,
// whatever the number of keys. A merger is used by one thread; file access
// goes through CurrentEnv().
#ifndef VOCS_SORTED_RUN_RUN_MERGER_H_
#define VOCS_SORTED_RUN_RUN_MERGER_H_

#include <atomic>
#include <concepts>
#include <cstdint>
#include <functional>
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

// What the runs of a merge are written as. The intermediate files take the
// runs' form; the destination is always in lines. Runs in lines (partial
// results, which may come from elsewhere) are never rewritten in a binary
// form, whose reader trusts less than the line parse does.
enum class RunForm { kLines, kBinary };

// A codec whose runs may also be written in a binary form of the engine's
// own: BinaryReader {Open(file), Next(&entry), failed(), error()} and
// BinaryWriter {Open(file), Add(entry), ok(), Finish()}.
template <typename C>
concept BinaryRunCodec = RunCodec<C> && requires { typename C::BinaryReader; typename C::BinaryWriter; };

// The passes of a merge and what happens to their files, whatever the lines
// are. RunMerger supplies the pass that merges entries.
class MergeSchedule {
 public:
  // Merges the opened inputs into the opened output; `last` is the pass
  // whose output becomes the destination. False when an input cannot be
  // read or fails its checks, or the output cannot be written.
  using Pass = std::function<bool(std::vector<std::unique_ptr<SequentialFile>>* inputs,
                                  std::unique_ptr<WritableFile> output, bool last)>;

  // `runs` in the order of creation (oldest first). With
  // `single_run_is_copied` false, a lone run goes through a pass as well
  // (a run in a form that the destination is not).
  MergeSchedule(std::string destination, std::vector<std::string> runs,
                bool single_run_is_copied = true);
  MergeSchedule(const MergeSchedule&) = delete;
  MergeSchedule& operator=(const MergeSchedule&) = delete;

  // Runs every pass and fills the destination. False when there is no run or
  // any step fails.
  bool Run(const Pass& pass);

  // Paths of the intermediate files made, in order.
  const std::vector<std::string>& intermediates() const { return intermediates_; }

 private:
  bool RunPass(const Pass& pass, const std::vector<std::string>& inputs, bool last,
               std::string* output);
  bool FillDestination(const std::string& final_file);

  std::string destination_;
  std::string directory_;
  bool single_run_is_copied_;
  std::vector<std::string> pending_runs_;
  std::vector<std::string> pending_intermediates_;
  std::vector<std::string> intermediates_;
};

template <RunCodec Codec>
class RunMerger {
 public:
  // `runs_form`: kBinary only for a codec that has one.
  RunMerger(std::string destination, std::vector<std::string> runs,
            RunForm runs_form = RunForm::kLines)
      : schedule_(std::move(destination), std::move(runs), runs_form == RunForm::kLines),
        binary_(kHasBinary && runs_form == RunForm::kBinary) {}

  bool Merge() {
    return schedule_.Run([this](std::vector<std::unique_ptr<SequentialFile>>* inputs,
                                std::unique_ptr<WritableFile> output, bool last) {
      return MergePass(inputs, std::move(output), last);
    });
  }
  const std::vector<std::string>& intermediates() const { return schedule_.intermediates(); }

 private:
  using Entry = typename Codec::Entry;
  using Held = typename Codec::Held;
  static constexpr bool kHasBinary = BinaryRunCodec<Codec>;

  // Reads nothing: the binary reader of a codec that has none.
  struct NoBinaryReader {
    bool Open(std::unique_ptr<SequentialFile>) { return false; }
    bool Next(Entry*) { return false; }
    bool failed() const { return true; }
  };
  struct NoBinaryWriter {
    bool Open(std::unique_ptr<WritableFile>) { return false; }
    void Add(const Entry&) {}
    bool ok() const { return false; }
    bool Finish() { return false; }
  };
  template <typename C>
  struct BinaryTypes {
    using Reader = NoBinaryReader;
    using Writer = NoBinaryWriter;
  };
  template <BinaryRunCodec C>
  struct BinaryTypes<C> {
    using Reader = typename C::BinaryReader;
    using Writer = typename C::BinaryWriter;
  };
  using BinaryReader = typename BinaryTypes<Codec>::Reader;
  using BinaryWriter = typename BinaryTypes<Codec>::Writer;

  // The order key of an entry: an integer that orders entries as Compare
  // does wherever two keys differ, so that most comparisons of the merge are
  // one integer comparison. Without a Key of the codec's, every key is 0
  // and Compare decides.
  static uint64_t KeyOf(const Entry& entry) {
    if constexpr (requires { { Codec::Key(entry) } -> std::convertible_to<uint64_t>; }) {
      return Codec::Key(entry);
    } else {
      return 0;
    }
  }

  // One input of a pass and its current entry, whose views point into the
  // reader's buffer until the cursor advances again.
  struct Cursor {
    std::unique_ptr<LineReader> lines;  // an input in lines, else binary
    BinaryReader binary;
    Entry entry{};
    bool exhausted = false;

    // Moves to the next entry. False on a read error or a run that fails
    // the binary reader's checks.
    bool Advance() {
      if (lines == nullptr) {
        if (binary.Next(&entry)) return true;
        exhausted = true;
        return !binary.failed();
      }
      // Lines the codec does not parse are skipped.
      std::string_view line;
      while (lines->ReadLine(&line)) {
        if (Codec::Parse(line, &entry)) return true;
      }
      exhausted = true;
      return !lines->error();
    }
  };

  bool MergePass(std::vector<std::unique_ptr<SequentialFile>>* inputs, std::unique_ptr<WritableFile> output,
                 bool last) {
    std::vector<Cursor> cursors(inputs->size());
    for (size_t i = 0; i < cursors.size(); ++i) {
      std::unique_ptr<SequentialFile>& input = (*inputs)[i];
      if (binary_) {
        if (!cursors[i].binary.Open(std::move(input))) return false;
      } else {
        cursors[i].lines = std::make_unique<LineReader>(std::move(input));
      }
    }
    if (last || !binary_) {
      RunWriter<Codec> writer;
      writer.Open(std::move(output));
      // The merge has checked the order: lines go to the writer with
      // AddInOrder.
      return MergeCursors(&cursors, [&writer](const Entry& entry) {
        writer.AddInOrder(entry);
        return writer.ok();
      }) && writer.Finish();
    }
    BinaryWriter writer;
    writer.Open(std::move(output));
    return MergeCursors(&cursors, [&writer](const Entry& entry) {
      writer.Add(entry);
      return writer.ok();
    }) && writer.Finish();
  }

  // Merges the cursors through a loser tree over their keys and hands every
  // key once, its entries folded, to emit (false: stop, failed).
  template <typename Emit>
  static bool MergeCursors(std::vector<Cursor>* cursors_in, Emit emit) {
    std::vector<Cursor>& cursors = *cursors_in;
    // Past every key; an exhausted input shows it, and ties at it are told
    // apart by exhausted.
    constexpr uint64_t kLast = ~uint64_t{0};
    std::vector<uint64_t> keys(cursors.size());
    for (size_t i = 0; i < cursors.size(); ++i) {
      if (!cursors[i].Advance()) return false;
      keys[i] = cursors[i].exhausted ? kLast : KeyOf(cursors[i].entry);
    }
    // Equal keys: the entries decide.
    auto tie_greater = [&cursors](int a, int b) {
      const Cursor& x = cursors[static_cast<size_t>(a)];
      const Cursor& y = cursors[static_cast<size_t>(b)];
      if (x.exhausted) return !y.exhausted;
      if (y.exhausted) return false;
      return Codec::Compare(x.entry, y.entry) > 0;
    };
    KeyedLoserTree<decltype(tie_greater)> tree(static_cast<int>(cursors.size()), tie_greater);
    tree.Build(keys.data());
    // The folding step: equal keys arrive one after the other and become one
    // held entry, emitted when a greater key comes. A smaller one means an
    // input out of order, whose equal keys could have passed each other: the
    // pass fails rather than write them twice.
    Held held;
    uint64_t held_key = 0;
    bool holding = false;
    for (;;) {
      const size_t s = static_cast<size_t>(tree.winner());
      Cursor& winner = cursors[s];
      if (winner.exhausted) break;
      const uint64_t key = tree.winner_key();
      int order = -1;
      if (holding) {
        order = held_key != key ? (held_key < key ? -1 : 1)
                                : Codec::Compare(Codec::View(held), winner.entry);
      }
      if (order == 0) {
        Codec::Fold(winner.entry, &held);
      } else if (order < 0) {
        if (holding && !emit(Codec::View(held))) return false;
        Codec::Hold(winner.entry, &held);
        held_key = key;
        holding = true;
      } else {
        return false;
      }
      if (!winner.Advance()) return false;
      tree.ReplayWinner(winner.exhausted ? kLast : KeyOf(winner.entry));
    }
    return !holding || emit(Codec::View(held));
  }

  MergeSchedule schedule_;
  // Runs and intermediate files in the binary form, else in lines.
  bool binary_;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_RUN_MERGER_H_
