// PairMerger: reduces the spill files of a co-occurrence run to one result
// file in which every pair occurs once with the sum of its counts.
//
// The merge runs in passes of at most kMergeFanIn (20) inputs. Each pass takes
// the newest spill files not yet merged (the last of the list first) and,
// when fewer than the pass can hold are left, tops up with intermediate
// files, newest first; it merges them through a loser tree into a new
// intermediate file named "<counter>.tx2" in the directory of the result
// file. A pass that finds a single input has found the final file, which is
// copied onto the result file; every intermediate file is then deleted. The
// spill files themselves are left to the task's RemoveTemporaryFiles.
//
// All files use the pair line format of pair_line.h. Inputs are in ascending
// unsigned byte order of (term1, term2); so are the outputs. Lines that do not
// parse are skipped. Equal keys meet consecutively in the loser tree and are
// written once with their counts added (in 64 bits).
//
// Unlike a loss of single lines, an input that cannot be opened or read, or an
// output that cannot be written completely, fails the merge: a result file
// that silently lacks counts is never produced. After a failure the
// intermediate files made so far stay on disk.
//
// The counter that names intermediate files is one process-wide atomic
// integer of the co-occurrence engine (the frequency engine has its own): it
// starts at 0, is never reset, and concurrent merges never get the same value.
//
// A merger lives for one MergeSpillFiles call on one thread.
#ifndef VOCS_COOC_PAIR_MERGER_H_
#define VOCS_COOC_PAIR_MERGER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cooc/pair_line.h"
#include "platform/env.h"
#include "platform/line_reader.h"

namespace vocs {

class PairMerger {
 public:
  // `destination` is the result file (it exists and is overwritten);
  // `spill_files` the spill files in order of creation.
  PairMerger(std::string destination, const std::vector<std::string>& spill_files);
  PairMerger(const PairMerger&) = delete;
  PairMerger& operator=(const PairMerger&) = delete;

  // Merges everything into the destination. False when there is no input, an
  // input cannot be opened or read, an intermediate file cannot be created or
  // written, or the final copy fails.
  bool Run();

  // The paths of the intermediate files written, in order.
  const std::vector<std::string>& intermediates() const { return intermediates_; }

 private:
  struct PairCursor {
    // The current pair; the views point into the reader's buffer and stay
    // valid until the next ReadNext on this cursor.
    std::string_view term1;
    std::string_view term2;
    // The first 8 bytes of each term as a big-endian number (zero-padded):
    // comparing these decides most comparisons without touching the bytes.
    uint64_t prefix1 = 0;
    uint64_t prefix2 = 0;
    int64_t count = 0;
    std::unique_ptr<LineReader> file;
    std::string path;
    bool exhausted = false;
  };

  size_t TakeBatch();
  bool OpenInputs();
  bool OpenOutput();
  bool MergePass();
  void CloseInputs();
  bool ReadNext(size_t i);
  void Emit(size_t i);
  void Replay(int s);
  // Whether cursor a's pair sorts after cursor b's.
  bool Greater(size_t a, size_t b) const;
  void WritePending();

  std::string destination_;
  std::string directory_;
  std::vector<int> tree_;
  std::vector<PairCursor> cursors_;
  std::vector<std::string> pendingSpills_;
  std::vector<std::string> pendingIntermediates_;
  std::vector<std::string> intermediates_;
  // The output accumulator: the pair waiting to be written.
  std::string pendingTerm1_;
  std::string pendingTerm2_;
  uint64_t pendingPrefix1_ = 0;
  uint64_t pendingPrefix2_ = 0;
  int64_t pendingCount_ = 0;
  bool pendingHolds_ = false;
  std::unique_ptr<WritableFile> output_;
  PairLineBuffer outputBuffer_;
  std::string outputPath_;
  bool failed_ = false;
};

// The value the next intermediate merge file of this process will be named
// by. Tests only.
int32_t NextCooccurrenceMergeNumberForTesting();

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_MERGER_H_
