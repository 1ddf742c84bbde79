// SpillMerger: reduces the frequency engine's spill files to one file of
// distinct terms (line format in freq/frequency_spill.h).
//
// The merge goes in passes of at most kMergeFanIn inputs. Each pass takes the
// newest spill files not merged yet and, when fewer are left than fit, the
// newest intermediate files, and merges them through a loser tree into a new
// intermediate file, adding up the lines of equal terms: totals and records
// are summed, the larger maxCount and the smaller minCount are kept. S spill
// files take ceil((S - 1) / (kMergeFanIn - 1)) passes. The last intermediate
// file is moved onto the destination and every intermediate file is deleted;
// the spill files themselves are left to their owner.
//
// Intermediate files are named directory + N + ".tx2", where directory is the
// destination's directory and N comes from one process-wide counter that all
// frequency merges share, taken and incremented atomically, so that merges
// on several threads sharing one directory never pick the same name.
//
// Failure: a pass whose output cannot be created or fully written, an input
// that cannot be opened or read, or a destination that cannot be replaced
// fails the merge; the intermediate files made so far stay on disk. Empty
// inputs and lines that do not parse contribute nothing.
//
// Memory is fixed: one line buffer per input, independent of the number of
// terms. A merger is used by one thread.
#ifndef VOCS_FREQ_SPILL_MERGER_H_
#define VOCS_FREQ_SPILL_MERGER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vocs {

class SpillMerger {
 public:
  // `spill_files` in the order of creation (oldest first).
  SpillMerger(std::string destination, std::vector<std::string> spill_files);
  SpillMerger(const SpillMerger&) = delete;
  SpillMerger& operator=(const SpillMerger&) = delete;

  // Runs every pass and fills the destination. False when there is no spill
  // file or any step fails.
  bool Merge();

  // Paths of the intermediate files made, in order.
  const std::vector<std::string>& intermediates() const { return intermediates_; }

  // The number the next intermediate file of this process will get. Tests
  // only: to check that numbering goes on across merges.
  static int32_t PeekIntermediateNumberForTesting();

 private:
  bool MergePass(const std::vector<std::string>& inputs, const std::string& output_path);

  std::string destination_;
  std::string directory_;
  std::vector<std::string> pendingSpills_;
  std::vector<std::string> pendingIntermediates_;
  std::vector<std::string> intermediates_;
};

}  // namespace vocs

#endif  // VOCS_FREQ_SPILL_MERGER_H_
