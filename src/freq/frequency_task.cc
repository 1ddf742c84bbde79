#include "freq/frequency_task.h"

#include <algorithm>

#include "freq/term_line.h"
#include "freq/term_run.h"
#include "job/stat_source.h"
#include "output/result_record.h"
#include "output/result_writer.h"
#include "platform/env.h"
#include "platform/line_reader.h"
#include "platform/mbcs.h"
#include "sorted_run/run_merger.h"
#include "sorted_run/run_writer.h"
#include "text/fixed_format.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// The splitter's step over one character: two bytes from 0x80 up, else one,
// never past the end of the text.
size_t StepOver(std::string_view text, size_t i) {
  size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  return i + step < text.size() ? i + step : text.size();
}

// Whether StepOver at i moves exactly as FindDelimiter's scan does, so that a
// delimiter found from i is also the first one from StepOver(i).
bool StepsLikeScan(std::string_view text, size_t i) {
  size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  return step == CharLength(text, i);
}

}  // namespace

FrequencyTask::FrequencyTask() : SpillingTask("FRE_", "fre_") {}

FrequencyTask::~FrequencyTask() = default;

bool FrequencyTask::AcceptTerm(std::string_view term) { return MeetsTermRule(term); }

int FrequencyTask::ProcessRecord(int32_t, StatSource* first, StatSource*) {
  switch (first->mode) {
    case kModeNone:
      // The whole content is one term, of any length and first byte.
      TrimSet(&first->content, BlankSet);
      if (!first->content.empty()) CountTerm(first->content);
      return 0;
    case kModeDelimited:
      if (first->modeText.empty()) return VOCS_E_BAD_MODE;
      return SplitAndCount(first->content, first->modeText, true) ? 0 : VOCS_E_BAD_MODE;
    case kModeNormal:
      return SplitAndCount(first->content, "/", false) ? 0 : VOCS_E_BAD_MODE;
    default:
      return VOCS_E_BAD_MODE;
  }
}

bool FrequencyTask::SplitAndCount(std::string_view text, std::string_view delimiters,
                                  bool trim) {
  size_t first_new = tokens_.size();
  split_text_ = text;
  DelimiterScan scan(text, delimiters);
  size_t cur = 0;
  size_t pos = 0;
  bool pos_known = false;  // whether pos is the first delimiter at or after cur
  bool in_step = true;     // whether cur is a character boundary of the scan
  for (;;) {
    if (!pos_known) {
      if (!in_step) scan.Restart(cur);
      pos = scan.Next(cur);
      pos_known = true;
      in_step = true;
    }
    if (pos == std::string_view::npos) {
      // The last token is tried once, after trimming.
      std::string_view token = text.substr(cur);
      if (trim) token = TrimSetView(token, BlankSet);
      if (!token.empty() && AcceptTerm(token)) AddToken(token);
      EndSplit(text, first_new);
      return true;
    }
    if (pos == cur) {  // an empty token: step over the delimiter
      cur = StepOver(text, cur);
      pos_known = false;
      continue;
    }
    if (!AcceptTerm(text.substr(cur, pos - cur))) {
      // Drop the first character and try the rest before the same delimiter.
      // The scan from the new position finds the same delimiter unless the
      // step differed from the scan's (the bytes 0x80 and 0xFF).
      if (!StepsLikeScan(text, cur)) pos_known = in_step = false;
      cur = StepOver(text, cur);
      continue;
    }
    if (trim) {
      cur += SkipBlanks(text.substr(cur, pos - cur));
      if (cur == pos) continue;
    }
    std::string_view token = text.substr(cur, pos - cur);
    // After SkipBlanks the token starts with no member of BlankSet, so the
    // two-sided trim removes the trailing blanks only.
    if (trim) token = TrimSetView(token, BlankSet);
    // A token of a full-width space and 0 bytes trims to nothing; an empty
    // term is never counted.
    if (!token.empty()) {
      AddToken(token);
      // A long text is counted as it is cut: gathering all of its tokens
      // first would hold several times the text's size in tokens.
      if (tokens_.size() >= kTokenLimit) {
        CountTokens(text, first_new);
        first_new = 0;
      }
    }
    cur = StepOver(text, pos);
    pos_known = false;
  }
}

void FrequencyTask::AddToken(std::string_view token) {
  token = CutTerm(token);
  // Every token is a part of the text being split; it is kept as its offset
  // there until EndSplit decides where the bytes live.
  tokens_.push_back(Token{static_cast<size_t>(token.data() - split_text_.data()),
                          static_cast<uint32_t>(token.size()), HashTerm(token),
                          currentRecord_});
}

void FrequencyTask::EndSplit(std::string_view text, size_t first_new) {
  if (tokens_.size() >= kTokenBatch) {
    CountTokens(text, first_new);
    return;
  }
  if (tokens_.size() == first_new) return;
  // Too few to count yet: keep a copy of the bytes from the first new token
  // to the end of the last (the job replaces the text with the next
  // record's), and point the new tokens into it.
  const size_t begin = tokens_[first_new].offset;
  const size_t end = tokens_.back().offset + tokens_.back().length;
  const size_t base = batch_text_.size();
  batch_text_.append(text.substr(begin, end - begin));
  for (size_t i = first_new; i < tokens_.size(); ++i) {
    tokens_[i].offset = tokens_[i].offset - begin + base;
  }
}

void FrequencyTask::CountPendingTokens() {
  if (!tokens_.empty()) CountTokens(std::string_view(), tokens_.size());
}

void FrequencyTask::CountTokens(std::string_view text, size_t first_new) {
  // A lookup of a short term misses the cache once, on its slot, which is
  // fetched kAhead tokens before its count. Tokens are gathered over records
  // (kTokenBatch), so that the first lookups of a record do not wait for
  // their own fetches.
  constexpr size_t kAhead = 16;
  const size_t n = tokens_.size();
  for (size_t i = 0; i < n && i < kAhead; ++i) terms_.Prefetch(tokens_[i].hash);
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) terms_.Prefetch(tokens_[i + kAhead].hash);
    const Token& token = tokens_[i];
    const char* base = i < first_new ? batch_text_.data() : text.data();
    CountCutTermIn(std::string_view(base + token.offset, token.length), token.hash,
                   token.record);
  }
  tokens_.clear();
  batch_text_.clear();
}

bool FrequencyTask::CountTerm(std::string_view term) {
  CountPendingTokens();
  term = CutTerm(term);
  CountCutTerm(term, HashTerm(term));
  return true;
}

void FrequencyTask::CountCutTerm(std::string_view term, uint32_t hash) {
  CountPendingTokens();
  CountCutTermIn(term, hash, currentRecord_);
}

void FrequencyTask::CountCutTermIn(std::string_view term, uint32_t hash, int32_t r) {
  terms_.Count(term, hash, r);
}

void FrequencyTask::FoldPendingCounts() {
  CountPendingTokens();
  terms_.FoldPendingCounts();
}

int FrequencyTask::EndRecord(int32_t) {
  // Each pending token adds at most one term: while they cannot reach the
  // threshold, the table spills at the same records as if they were counted.
  if (terms_.size() + tokens_.size() < spill_threshold_) return 0;
  CountPendingTokens();
  if (terms_.size() < spill_threshold_) return 0;
  bool written = WriteSpillFile();
  terms_.Clear();
  return written ? 0 : VOCS_E_NO_RESULT_FILE;
}

int FrequencyTask::Finish() {
  CountPendingTokens();
  currentRecord_ = -1;
  if (spillFiles().empty()) {
    // The only spill (an empty one when the run counted nothing, so that
    // there is always a result file) is written as the result lines and
    // becomes the result file.
    FoldPendingCounts();  // the table is left as the run counted it
    if (!WriteSpillFile(SpillForm::kLines)) return VOCS_E_NO_RESULT_FILE;
    return FinishResultFile() ? 0 : VOCS_E_NO_RESULT_FILE;
  }
  if (!terms_.empty()) {
    FoldPendingCounts();
    if (!WriteSpillFile(SpillForm::kRun)) return VOCS_E_NO_RESULT_FILE;
  }
  // Even a lone run is merged: runs are binary, the result file is lines.
  return files_.MakeResultFile() && MergeSpillFiles() ? 0 : VOCS_E_NO_RESULT_FILE;
}

bool FrequencyTask::WriteSpillFile(SpillForm form) {
  if (form == SpillForm::kLines) {
    RunWriter<TermLineCodec> writer;
    if (!files_.OpenSpill(&writer)) return false;
    WriteSortedTerms([&writer](const TermEntry& entry) { writer.Add(entry); });
    return writer.Finish();
  }
  TermRunWriter writer;
  if (!writer.Open(files_.OpenRawSpill())) return false;
  WriteSortedTerms([&writer](const TermEntry& entry) { writer.Add(entry); });
  return writer.Finish();
}

template <typename Add>
void FrequencyTask::WriteSortedTerms(Add add) {
  terms_.SortedOrder(&order_);
  // Sorted order jumps around the slots: fetch a few ahead.
  constexpr size_t kAhead = 8;
  const size_t n = order_.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) terms_.PrefetchPosition(order_[i + kAhead]);
    const uint32_t position = order_[i];
    const TermStats s = terms_.Stats(position);
    // The count in the term's last record is folded here, on the way out,
    // rather than by a walk over the whole table first; folding it again
    // changes nothing.
    add(TermEntry{terms_.Term(position),
                  SpillCounts{s.total, s.records, std::max(s.maxCount, s.currentCount),
                              std::min(s.minCount, s.currentCount)}});
  }
}

bool FrequencyTask::MergeSpillFiles() {
  RunMerger<TermLineCodec> merger(resultPath(), spillFiles(), RunForm::kBinary);
  return merger.Merge();
}

int FrequencyTask::DeliverResults() {
  if (writes_partial()) return WritePartialResult(kFrequencyPartial, {}, 0);
  if (writer_ == nullptr) return 0;
  int result = writer_->open(outputName_);
  if (result != 0) return result;
  result = ReadResultFile();
  if (result != 0) return result;
  result = writer_->finish();
  if (result != 0) return result;
  files_.RemoveTemporaryFiles();
  return 0;
}

int FrequencyTask::DeliverPartials(const std::vector<std::string>& paths) {
  int64_t term_total = 0;
  // A frequency partial has no term lines.
  int result = ReadPartials(
      paths, kFrequencyPartial, [](std::string_view, int64_t) { return false; }, &term_total);
  if (result != 0) return result;
  RunMerger<TermLineCodec> merger(resultPath(), paths);
  if (!merger.Merge()) {
    partial_error_ = "the partial results could not be merged in " + tempDir();
    return VOCS_E_NO_RESULT_FILE;
  }
  return DeliverResults();
}

int FrequencyTask::ReadResultFile() {
  std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(resultPath());
  if (!file) return VOCS_E_RESULT_FILE_OPEN;
  LineReader reader(std::move(file));
  std::string_view line;
  while (reader.ReadLine(&line)) {
    // A malformed line, or a record the writer refuses, is skipped.
    if (!line.empty()) EmitResultRecord(line);
  }
  // A read error would deliver a truncated result as a complete one.
  return reader.error() ? VOCS_E_RESULT_FILE_OPEN : 0;
}

int FrequencyTask::EmitResultRecord(std::string_view line) {
  size_t tabs[4];
  if (!FindLastFourTabs(line, tabs)) return VOCS_E_BAD_MODE;
  auto field = [&](int k) {
    size_t begin = tabs[k] + 1;
    size_t end = k < 3 ? tabs[k + 1] : line.size();
    return line.substr(begin, end - begin);
  };
  const std::string_view frequency_text = field(0);
  const std::string_view records_text = field(1);
  const std::string_view hypomin_text = field(3);
  const int64_t frequency = ParseTermLineNumber(frequency_text);
  if (frequency < minFrequency_) return 0;
  // The smallest count over all records is 0 unless every record holds the term.
  const std::string_view min_value =
      ParseTermLineNumber(records_text) == recordCount_ ? hypomin_text : std::string_view("0");
  char average[40];
  const FrequencyRecord record = {
      line.substr(0, tabs[0]), frequency_text, records_text, field(2), hypomin_text, min_value,
      FormatFixed4(static_cast<double>(frequency) / static_cast<double>(recordCount_), average)};
  return writer_->writeRecord(record);
}

}  // namespace vocs
