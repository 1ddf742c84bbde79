// CooccurrenceTask: the co-occurrence engine, a StatTask that counts how
// often two terms occur together in one record.
//
// For every record the job calls ProcessRecord once with its single source,
// or once for every pair of distinct sources (the earlier one first). The
// task cuts each source's text into terms by the source's mode and counts
// ordered term pairs:
//
//   single source:  every two term occurrences once, the earlier term first,
//                   so x, y, x gives (x, y), (x, x), (y, x);
//   two sources:    the full cross product, the first source's term first.
//
// Alongside it counts, for every term, the pairs it took part in (on either
// side, twice for a pair of a term with itself) and their sum, the
// totalTermCount; these counts are gathered only when the task has a writer,
// since only the delivery reads them.
//
// Modes: 0, the whole content trimmed of BlankSet is one term, provided it
// meets the term rule (a single source in mode 0 is refused with
// VOCS_E_BAD_ARGUMENT); 1, the content is cut at the characters of modeText
// and each token trimmed; any other value, the content is cut at "/" and
// tokens are used as found. Terms are counted under their first 256 bytes,
// less a last byte that would be half of a two-byte character (CutTerm).
//
// Memory: every term gets a small integer id in one TermIdTable (the
// termCountTable); a pair is counted under the 64-bit key of its two ids in a
// PairCountTable. When that table reaches the spill threshold (5,000,000
// distinct pairs) it is written, sorted by the bytes of (term1, term2), to a
// "tog_" spill file in the work directory ("TOG_" below "vocstemp" unless a
// temporary directory is configured) and emptied. Finish writes the last
// spill and merges the spill files into one result file of pair lines;
// DeliverResults reads it back, computes support and reliability values and
// hands one CooccurrenceRecord per pair to the writer. File formats: spill
// files cooc/pair_run.h, the result file (and partial results)
// cooc/pair_line.h.
//
// The result file stays the record of the run (a run without a writer keeps
// it, a failed delivery leaves it, a partial copies it), but delivery does
// not read it back when it can avoid it: the final merge also keeps its
// pairs as rank keys in the pair table's storage, which counting no longer
// needs, and delivery takes the terms and their counts by rank from there,
// with no parsing and no term lookups. The copy is kept only when it holds
// exactly what reading the file would give: every pair fits the storage, its
// count fits the packed word, and no term of the run holds a byte that would
// split or end a line of the file (a tab, a line feed, a 0 byte, or a lead
// byte of 0x80 or above without its second byte).
//
// A spill that cannot be written fails the run: the counts it held would be
// lost otherwise. ProcessRecord and Finish then return VOCS_E_NO_RESULT_FILE
// (from then on), and the files written so far stay on disk, as after every
// failure.
//
// Ownership as for every SpillingTask: the creator owns the task and its
// writer, the job owns the sources and lends them for one ProcessRecord call.
// One thread; the only state shared with other tasks is the merge counter of
// RunMerger.
#ifndef VOCS_COOC_COOCCURRENCE_TASK_H_
#define VOCS_COOC_COOCCURRENCE_TASK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cooc/pair_count_table.h"
#include "cooc/pair_line.h"
#include "cooc/pair_values.h"
#include "cooc/term_id_table.h"
#include "engine/spilling_task.h"
#include "output/result_record.h"

namespace vocs {

class CooccurrenceTask : public SpillingTask {
 public:
  // Where NextToken stands in a text. The text ends at its first 0 byte.
  struct TokenCursor {
    std::string_view text;
    size_t position = 0;                    // npos once the text is used up
    size_t found = std::string_view::npos;  // the delimiter last found
  };

  CooccurrenceTask();
  ~CooccurrenceTask() override;

  // Slot 1. Writes the last spill (an empty one when nothing was ever
  // spilled, so that a result file always exists) and produces the result
  // file. 0, or VOCS_E_NO_RESULT_FILE when a spill, the result file, the
  // move or the merge fails. currentRecord is left as it is.
  int Finish() override;
  // Slot 3. Counts the pairs of one record: of `first` alone when `second` is
  // null, else of the two sources. 0; VOCS_E_BAD_ARGUMENT for a single source
  // in mode 0; VOCS_E_PAIR_NOT_COUNTED when a pair cannot be stored or, with
  // two sources, a source not in mode 0 has no delimiter (a single source
  // without delimiters yields nothing and succeeds); VOCS_E_NO_RESULT_FILE
  // when a spill cannot be written. The sources' `content` may be trimmed in
  // place (mode 0).
  int ProcessRecord(int32_t index, StatSource* first, StatSource* second) override;
  // Slot 5. With a partial output (SetPartialOutput), writes the partial
  // with the term counts instead; they are gathered only with a writer, so
  // the creator gives the task one. Without a writer: 0, nothing delivered,
  // temporary files kept. Otherwise open(outputName), one writeRecord per result line whose count
  // is at least minFrequency, finish, and removal of the temporary files.
  // The writer's non-zero open or finish result is returned as it is;
  // VOCS_E_RESULT_FILE_OPEN when the result file cannot be opened or read.
  // After a failure the temporary files stay.
  int DeliverResults() override;
  // Delivers the merge of the partial results at `paths` (the shards of one
  // run; sorted_run/partial_file.h) as DeliverResults delivers one run's
  // result: their term counts and totals are summed into termCountTable and
  // totalTermCount, their pair lines merged, their minimum frequency
  // applied. The partials are read, never changed. 0,
  // VOCS_E_RESULT_FILE_OPEN for a partial refused (partial_error() says
  // why), VOCS_E_NO_RESULT_FILE when the merge fails, else what
  // DeliverResults returns.
  int DeliverPartials(const std::vector<std::string>& paths);
  // Slot 7. The term rule: at least 4 bytes, first byte 0x41 or above. Also
  // applied in mode 0.
  bool AcceptTerm(std::string_view term) override;
  // Slot 8. Merges the spill files, one or more, into the pair lines of
  // resultPath (cooc/pair_run.h); more than kMergeFanIn of them first in
  // passes into intermediate files named as RunMerger names them. False
  // when a run cannot be read or fails its checks, or a file cannot be
  // written.
  bool MergeSpillFiles() override;

  // Writes the pair table, sorted, to a new spill file (cooc/pair_run.h) and
  // records its path. False when the work directory, the file name or the
  // file cannot be made or a write fails; the file is recorded once it is
  // open. The table is left unusable: the caller empties it.
  bool SpillPairs();

  int64_t totalTermCount() const { return totalTermCount_; }

  // Entry points for tests.
  // NextToken: the next accepted token of cursor->text at the delimiter
  // characters, as a view into the text. A middle token is tested by
  // AcceptTerm as found between its delimiters, before its leading blanks
  // (0x01..0x20 and the full-width space) are skipped; its trailing blanks
  // stay. The last token is trimmed of BlankSet before the test. False when
  // no token remains.
  bool NextTokenForTesting(TokenCursor* cursor, std::string_view delimiters,
                           std::string_view* out) {
    return NextToken(cursor, delimiters, out);
  }
  // Counts one occurrence of the ordered pair, each term cut by CutTerm, and
  // with a writer one participation of each term, as a record would. False
  // when a spill cannot be written (and from then on).
  bool AddPairForTesting(std::string_view term1, std::string_view term2);
  // Turns one line of the result file into a record for the writer, as
  // delivery does. 0 for a line below minFrequency;
  // VOCS_E_MALFORMED_PAIR_LINE for a line without exactly two tabs;
  // VOCS_E_NO_TERM_COUNT when a term has no count; else the result of
  // writeRecord.
  int EmitResultRecordForTesting(std::string_view line);
  // Fills Support1, Support2 and Reliability ("%0.4f") of `record`, whose
  // fields 0 and 1 name the terms. Support1 is computed in double precision;
  // Support2 and Reliability are rounded to single precision before they are
  // formatted. 0, or VOCS_E_NO_TERM_COUNT when a term has no count. The texts
  // stay valid until the next call.
  int ComputeValuesForTesting(CooccurrenceRecord* record, int64_t count);
  // The term's count in termCountTable, 0 when it has none.
  int64_t TermCountForTesting(std::string_view term) const;
  // Number of terms in termCountTable.
  size_t TermCountTableSizeForTesting() const { return termCountTable_.counted_terms(); }
  // Number of distinct pairs held in memory.
  size_t PairTableSizeForTesting() const { return pairTable_.size(); }
  // Whether the pairs of the result file are held for delivery.
  bool HoldsMergedPairsForTesting() const { return merged_.kept; }
  // Drops them, so that delivery reads the result file.
  void DropMergedPairsForTesting() { merged_ = MergedPairs(); }
  // The pairs of a spill file as pair lines, followed by "(damaged)" when
  // the file fails a check of the merge, or "(unreadable)".
  std::string SpillFileTextForTesting(const std::string& path);
  // The pairs held in memory in spill order, "(t1,t2)=n" joined by spaces.
  std::string DumpPairsForTesting() const;

 private:
  bool NextToken(TokenCursor* cursor, std::string_view delimiters, std::string_view* out);
  // The terms of one source, as ids, in text order.
  bool CollectTerms(StatSource* source, std::string_view delimiters,
                    std::vector<uint32_t>* ids);
  // The whole trimmed content of a mode-0 source, or false when it is no
  // term.
  bool ModeZeroTerm(StatSource* source, std::string_view* term);
  int ProcessSingleSource(StatSource* source);
  int ProcessSourcePair(StatSource* first, StatSource* second);
  // Count the pairs of ids in order, and with a writer the term counts of
  // the record's pairs; false when a spill fails.
  bool CountPairsWithin(const std::vector<uint32_t>& ids);
  bool CountPairsAcross(const std::vector<uint32_t>& ids1, const std::vector<uint32_t>& ids2);
  bool CountBlock(size_t n);
  // Counts one pair in the pair table (the term counts are the caller's).
  bool AddPairKey(uint64_t key);
  bool SpillAndClear();
  // Emits a batch of result lines (at most the reader's batch size).
  void DeliverBatch(const std::string_view* lines, size_t n);
  // Hands the kept pairs of the final merge to the writer, as the result
  // file's lines would be.
  void DeliverMergedPairs();
  // Holds the storage of the pair table for the final merge's pairs when
  // delivery can use them (see the file comment); else releases it.
  void KeepStorageForMergedPairs();
  // Adds one pair of the final merge to the kept copy; gives the copy up
  // when the pair does not fit.
  void KeepMergedPair(uint64_t key, int64_t count);
  // EmitResultRecord for a parsed line whose term2 has the id `id2`.
  int EmitPair(const PairLine& pair, uint32_t id2);
  int ComputeValuesFor(CooccurrenceRecord* record, int64_t count, uint32_t id2);
  // Fields 3 to 5 from the count and the term counts n1, n2 (both above 0).
  void FillValues(CooccurrenceRecord* record, int64_t count, int64_t n1, int64_t n2);
  // Gives the pair table room for the spill threshold, once.
  void ReserveTable();

  // Writing the merged pairs' lines and delivering them read term2 at a
  // random rank: its place in the ordered terms (and its count) is fetched
  // this many pairs ahead, and its bytes, which need the place, a few pairs
  // later.
  static constexpr size_t kRankAhead = 16;
  static constexpr size_t kTermAhead = 8;

  PairCountTable pairTable_;
  int64_t totalTermCount_ = 0;
  TermIdTable termCountTable_;

  std::vector<uint32_t> ids1_;
  std::vector<uint32_t> ids2_;
  std::vector<uint64_t> block_;  // pair keys waiting to be counted
  bool spill_failed_ = false;
  bool table_reserved_ = false;

  // The pairs of the result file in order, one word each: the rank key
  // (rank1 << bits | rank2) in the high 2 * bits bits, the count in the low
  // count_bits. The words lie in storage taken from the pair table.
  struct MergedPairs {
    PairCountTable::Storage storage;
    uint64_t* words = nullptr;
    size_t capacity = 0;  // words
    size_t size = 0;
    int bits = 0;
    int count_bits = 0;
    bool kept = false;
  };
  MergedPairs merged_;

  // The result file is sorted by term1, so the last term1 looked up is
  // usually the next one too. Only a term that has an id is remembered: ids
  // never change.
  std::string last_term1_;
  uint32_t last_term1_id_ = TermIdTable::kNoTerm;

  // The text of one computed value, count / base * 100, remembered with its
  // operands: most pairs have a small count and share term1 with the lines
  // before them, so the same values recur line after line.
  struct ValueText {
    int64_t count = 0;
    int64_t base = 0;  // 0: empty
    size_t length = 0;
    char text[40] = {};
  };
  static constexpr size_t kReliabilityTexts = 256;
  // The text of `*text` for the value of count and base, made anew when the
  // operands differ.
  static std::string_view ShareText(ValueText* text, PairValue value, int64_t count,
                                    int64_t base);
  ValueText support1_text_;
  ValueText support2_text_;
  ValueText reliability_text_;
  std::vector<ValueText> reliability_texts_;  // by count, for small counts
};

}  // namespace vocs

#endif  // VOCS_COOC_COOCCURRENCE_TASK_H_
