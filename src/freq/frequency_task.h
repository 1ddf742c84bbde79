// FrequencyTask: the word-frequency engine.
//
// For every distinct term of a run it counts how often the term occurs, in how
// many records, and its largest and smallest count within one record that
// holds it. Terms come from the sources' content by their segmentation mode:
// mode 0 counts the whole trimmed content as one term (no term rule), mode 1
// cuts at the characters of modeText and trims blanks, mode 2 cuts at "/".
// Every term is cut with CutTerm (256 bytes, no dangling lead byte) before it
// is counted.
//
// Counts live in a TermTable. When it holds spill threshold (5,000,000) or
// more distinct terms at the end of a record, it is written to a sorted spill
// file "fre_*.tmp" in the work directory, a binary term run
// (freq/term_run.h), and emptied; no record is ever split between two spill
// files. Finish writes the last spill (an empty one when the run counted
// nothing) and reduces the spill files to the "ok_" result file of term
// lines (freq/term_line.h): a move of the only spill, which a run that never
// spilled before Finish writes as lines, or else a RunMerger of the runs,
// even of one. DeliverResults reads the result file and hands one
// FrequencyRecord per term, in term order, to the writer:
//
//   ItemName      the term
//   Frequency     occurrences in the run
//   LineCount     records that contain it
//   MaxValue      largest count in one record
//   HypominValue  smallest count among the records that contain it
//   MinValue      HypominValue when every record of the run holds the term,
//                 else "0"
//   Average       Frequency / recordCount, "%0.4f"
//
// Terms whose frequency is below minFrequency are not delivered.
//
// A spill that cannot be written fails the run (VOCS_E_NO_RESULT_FILE from
// EndRecord or Finish) instead of losing the counts; as after any failure,
// the task's files stay on disk.
//
// Ownership and threads: see SpillingTask. One task, one run, one thread.
#ifndef VOCS_FREQ_FREQUENCY_TASK_H_
#define VOCS_FREQ_FREQUENCY_TASK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/spilling_task.h"
#include "freq/term_table.h"

namespace vocs {

class FrequencyTask : public SpillingTask {
 public:
  FrequencyTask();
  ~FrequencyTask() override;

  // Writes the last spill and produces the result file: 0, or
  // VOCS_E_NO_RESULT_FILE. Leaves currentRecord at -1.
  int Finish() override;
  // Counts the terms of first->content in currentRecord; `index` and
  // `second` are not used. 0, or VOCS_E_BAD_MODE for a mode other than 0, 1
  // and 2 or mode 1 with an empty modeText. Mode 0 trims content in place.
  int ProcessRecord(int32_t index, StatSource* first, StatSource* second) override;
  // Spills when the table holds the spill threshold or more terms: 0, or
  // VOCS_E_NO_RESULT_FILE when the spill file cannot be written.
  int EndRecord(int32_t index) override;
  // With a partial output (SetPartialOutput), writes the partial instead.
  // 0 without a writer (files stay); else the writer's open, every record,
  // the writer's finish, and the removal of the temporary files. The first
  // non-zero code of open or finish, or VOCS_E_RESULT_FILE_OPEN when the
  // result file cannot be opened or read, is returned; files then stay.
  int DeliverResults() override;
  // Delivers the merge of the partial results at `paths` (the shards of one
  // run; sorted_run/partial_file.h) as DeliverResults delivers one run's
  // result, with their summed record count and their minimum frequency. The
  // partials are read, never changed. 0, VOCS_E_RESULT_FILE_OPEN for a
  // partial refused (partial_error() says why), VOCS_E_NO_RESULT_FILE when
  // the merge fails, else what DeliverResults returns.
  int DeliverPartials(const std::vector<std::string>& paths);
  // The term rule: at least 4 bytes, first byte 0x41 or above.
  bool AcceptTerm(std::string_view term) override;
  // Merges the spill files into resultPath (see RunMerger).
  bool MergeSpillFiles() override;

  // Counts one occurrence of `term` (cut with CutTerm) in currentRecord.
  bool CountTerm(std::string_view term);
  // CountTerm for a term that is already cut, with its HashTerm.
  void CountCutTerm(std::string_view term, uint32_t hash);
  // Cuts `text` at the characters of `delimiters` and counts the accepted
  // tokens. A middle token that the term rule rejects is tried again without
  // its first character until it is accepted or empty; the last token is
  // tried once. With `trim`, blanks are removed around each token (middle
  // tokens after the term rule has accepted them, the last one before).
  // False only when counting fails. Tokens are gathered, over calls and
  // records, and counted in order a few lookups ahead of the count, so that
  // the table's cache misses overlap; they are all counted before the table
  // is read or spilled (EndRecord, Finish, FoldPendingCounts, terms, and
  // CountTerm or CountCutTerm, which count after them).
  bool SplitAndCount(std::string_view text, std::string_view delimiters, bool trim);
  // Folds every term's count in its last record into maxCount and minCount.
  void FoldPendingCounts();

  // The table, with every gathered token counted.
  const TermTable& terms() {
    CountPendingTokens();
    return terms_;
  }

  // Delivers one result line as DeliverResults does. Tests only.
  int EmitResultRecordForTesting(std::string_view line) { return EmitResultRecord(line); }

 private:
  // What a spill file is written as: a binary term run (freq/term_run.h),
  // or, for the only spill of a run, the result lines themselves, so that
  // it becomes the result file without a merge.
  enum class SpillForm { kRun, kLines };
  // Writes the table, sorted, to a new spill file and records its path, each
  // term's count in its last record folded into its largest and smallest
  // counts (the table itself is left unfolded). False
  // when the work directory, the file or any write fails.
  bool WriteSpillFile(SpillForm form = SpillForm::kRun);
  // Hands the table's terms to add(TermEntry) in ascending order, as
  // WriteSpillFile writes them.
  template <typename Add>
  void WriteSortedTerms(Add add);
  // Reads the result file and delivers its lines: 0, or
  // VOCS_E_RESULT_FILE_OPEN.
  int ReadResultFile();
  // One result line: 0 when dropped below minFrequency, VOCS_E_BAD_MODE
  // for a line with fewer than four TABs, else the writer's result.
  int EmitResultRecord(std::string_view line);

  TermTable terms_;
  // A cut token waiting to be counted: its bytes at `offset` in the text
  // being split (until EndSplit) or in batch_text_.
  struct Token {
    size_t offset;
    uint32_t length;
    uint32_t hash;
    int32_t record;
  };
  // Tokens gathered before they are counted. The lookups of a batch overlap
  // their cache misses; the batch is a few records long.
  static constexpr size_t kTokenBatch = 256;
  // The most tokens held at once while one text is cut.
  static constexpr size_t kTokenLimit = 16 * kTokenBatch;
  void AddToken(std::string_view token);
  // Ends one SplitAndCount whose tokens start at tokens_[first_new]: counts
  // the batch when it is full, else keeps the tokens' bytes.
  void EndSplit(std::string_view text, size_t first_new);
  // Counts the gathered tokens, those before first_new from batch_text_, the
  // others from `text`, and empties the batch.
  void CountTokens(std::string_view text, size_t first_new);
  // Counts every gathered token (their bytes are all in batch_text_).
  void CountPendingTokens();
  void CountCutTermIn(std::string_view term, uint32_t hash, int32_t record);

  std::vector<uint32_t> order_;  // sort buffer of WriteSpillFile, kept across spills
  std::vector<Token> tokens_;    // gathered tokens, in order
  std::string batch_text_;       // the texts of the gathered tokens' earlier calls
  std::string_view split_text_;  // the text of the SplitAndCount running
};

}  // namespace vocs

#endif  // VOCS_FREQ_FREQUENCY_TASK_H_
