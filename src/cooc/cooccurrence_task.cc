#include "cooc/cooccurrence_task.h"

#include <algorithm>
#include <bit>
#include <new>

#include "cooc/pair_line.h"
#include "cooc/pair_run.h"
#include "cooc/spill_sort.h"
#include "job/stat_source.h"
#include "platform/env.h"
#include "sorted_run/run_merger.h"
#include "sorted_run/run_writer.h"
#include "text/text_primitives.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

// Pair keys are gathered in blocks so that the table slots of the next keys
// can be fetched while the current ones are counted.
constexpr size_t kBlockSize = 1024;
constexpr size_t kPrefetchDistance = 12;

// Pairs the final merge gathers before it writes their lines.
constexpr size_t kMergeBatch = 256;

constexpr std::string_view kSlash = "/";

// Length of the delimiter character at text[pos]: two bytes when its first
// byte is 0x80 or above, never past the end of the text.
size_t DelimiterLength(std::string_view text, size_t pos) {
  return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
}

std::string_view DelimitersOf(const StatSource& source) {
  return source.mode == kModeDelimited ? std::string_view(source.modeText) : kSlash;
}

using Slot = PairCountTable::Slot;

}  // namespace

CooccurrenceTask::CooccurrenceTask() : SpillingTask("TOG_", "tog_"), block_(kBlockSize) {
  ids1_.reserve(256);
  ids2_.reserve(256);
}

CooccurrenceTask::~CooccurrenceTask() = default;

bool CooccurrenceTask::AcceptTerm(std::string_view term) { return MeetsTermRule(term); }

bool CooccurrenceTask::NextToken(TokenCursor* cursor, std::string_view delimiters,
                                 std::string_view* out) {
  const std::string_view text = cursor->text;
  for (;;) {
    if (cursor->position == std::string_view::npos) return false;
    const size_t start = cursor->position;
    const size_t rel = FindDelimiter(text.substr(start), delimiters);
    if (rel == std::string_view::npos) {
      cursor->found = std::string_view::npos;
      // The last token: trimmed first, then tested.
      *out = TrimSetView(text.substr(start), BlankSet);
      cursor->position = std::string_view::npos;
      return !out->empty() && AcceptTerm(*out);
    }
    const size_t found = start + rel;
    cursor->found = found;
    const size_t next = found + DelimiterLength(text, found);
    const std::string_view token = text.substr(start, found - start);
    if (token.empty() || !AcceptTerm(token)) {
      cursor->position = next;
      continue;
    }
    const size_t blanks = SkipBlanks(token);
    cursor->position = next;
    if (blanks == token.size()) continue;
    *out = token.substr(blanks);
    return true;
  }
}

bool CooccurrenceTask::CollectTerms(StatSource* source, std::string_view delimiters,
                                    std::vector<uint32_t>* ids) {
  ids->clear();
  TokenCursor cursor;
  cursor.text = std::string_view(source->content.c_str());  // up to the first 0 byte
  const bool trim = source->mode == kModeDelimited;
  std::string_view token;
  while (NextToken(&cursor, delimiters, &token)) {
    if (trim) {
      // The leading blanks are gone already, so this trims the right end only.
      token = TrimSetView(token, BlankSet);
      if (token.empty()) continue;
    }
    ids->push_back(termCountTable_.Intern(CutTerm(token)));
  }
  return !ids->empty();
}

bool CooccurrenceTask::ModeZeroTerm(StatSource* source, std::string_view* term) {
  TrimSet(&source->content, BlankSet);
  *term = source->content;
  return !term->empty() && AcceptTerm(*term);
}

void CooccurrenceTask::ReserveTable() {
  if (table_reserved_) return;
  table_reserved_ = true;
  pairTable_.Reserve(spill_threshold_);
}

int CooccurrenceTask::ProcessRecord(int32_t, StatSource* first, StatSource* second) {
  if (spill_failed_) return VOCS_E_NO_RESULT_FILE;
  try {
    ReserveTable();
    return second == nullptr ? ProcessSingleSource(first) : ProcessSourcePair(first, second);
  } catch (const std::bad_alloc&) {
    return VOCS_E_PAIR_NOT_COUNTED;
  }
}

int CooccurrenceTask::ProcessSingleSource(StatSource* source) {
  if (source->mode == kModeNone) return VOCS_E_BAD_ARGUMENT;
  const std::string_view delimiters = DelimitersOf(*source);
  if (delimiters.empty()) return 0;
  CollectTerms(source, delimiters, &ids1_);
  return CountPairsWithin(ids1_) ? 0 : VOCS_E_NO_RESULT_FILE;
}

int CooccurrenceTask::ProcessSourcePair(StatSource* first, StatSource* second) {
  if (first->mode == kModeNone) {
    std::string_view term;
    ids1_.clear();
    if (!ModeZeroTerm(first, &term)) return 0;
    ids1_.push_back(termCountTable_.Intern(CutTerm(term)));
  } else {
    const std::string_view delimiters = DelimitersOf(*first);
    if (delimiters.empty()) return VOCS_E_PAIR_NOT_COUNTED;
    CollectTerms(first, delimiters, &ids1_);
  }
  // The second source is looked at only for a term of the first.
  if (ids1_.empty()) return 0;
  if (second->mode == kModeNone) {
    std::string_view term;
    ids2_.clear();
    if (!ModeZeroTerm(second, &term)) return 0;
    ids2_.push_back(termCountTable_.Intern(CutTerm(term)));
  } else {
    const std::string_view delimiters = DelimitersOf(*second);
    if (delimiters.empty()) return VOCS_E_PAIR_NOT_COUNTED;
    CollectTerms(second, delimiters, &ids2_);
  }
  return CountPairsAcross(ids1_, ids2_) ? 0 : VOCS_E_NO_RESULT_FILE;
}

bool CooccurrenceTask::CountPairsWithin(const std::vector<uint32_t>& ids) {
  const size_t n = ids.size();
  if (writer_ != nullptr && n >= 2) {
    // Every occurrence takes part in a pair with each of the n - 1 others.
    for (uint32_t id : ids) termCountTable_.AddCounts(id, static_cast<int64_t>(n - 1));
    totalTermCount_ += static_cast<int64_t>(n * (n - 1));
  }
  size_t fill = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    const uint64_t high = static_cast<uint64_t>(ids[i]) << 32;
    for (size_t j = i + 1; j < n; ++j) {
      block_[fill++] = high | ids[j];
      if (fill == kBlockSize) {
        if (!CountBlock(fill)) return false;
        fill = 0;
      }
    }
  }
  return CountBlock(fill);
}

bool CooccurrenceTask::CountPairsAcross(const std::vector<uint32_t>& ids1,
                                        const std::vector<uint32_t>& ids2) {
  if (writer_ != nullptr && !ids1.empty() && !ids2.empty()) {
    // Every term of one source pairs with each term of the other.
    for (uint32_t id : ids1) termCountTable_.AddCounts(id, static_cast<int64_t>(ids2.size()));
    for (uint32_t id : ids2) termCountTable_.AddCounts(id, static_cast<int64_t>(ids1.size()));
    totalTermCount_ += static_cast<int64_t>(2 * ids1.size() * ids2.size());
  }
  size_t fill = 0;
  for (uint32_t id1 : ids1) {
    const uint64_t high = static_cast<uint64_t>(id1) << 32;
    for (uint32_t id2 : ids2) {
      block_[fill++] = high | id2;
      if (fill == kBlockSize) {
        if (!CountBlock(fill)) return false;
        fill = 0;
      }
    }
  }
  return CountBlock(fill);
}

bool CooccurrenceTask::CountBlock(size_t n) {
  const uint64_t* keys = block_.data();
  for (size_t k = 0; k < n; ++k) {
    if (k + kPrefetchDistance < n) pairTable_.Prefetch(keys[k + kPrefetchDistance]);
    if (!AddPairKey(keys[k])) return false;
  }
  return true;
}

inline bool CooccurrenceTask::AddPairKey(uint64_t key) {
  pairTable_.Add(key);
  if (pairTable_.size() >= spill_threshold_) return SpillAndClear();
  return true;
}

bool CooccurrenceTask::AddPairForTesting(std::string_view term1, std::string_view term2) {
  if (spill_failed_) return false;
  ReserveTable();
  const uint32_t id1 = termCountTable_.Intern(CutTerm(term1));
  const uint32_t id2 = termCountTable_.Intern(CutTerm(term2));
  if (writer_ != nullptr) {
    termCountTable_.AddCount(id1);
    termCountTable_.AddCount(id2);
    totalTermCount_ += 2;
  }
  return AddPairKey(PairCountTable::Key(id1, id2));
}

bool CooccurrenceTask::SpillAndClear() {
  const bool ok = SpillPairs();
  pairTable_.Clear();
  if (!ok) spill_failed_ = true;
  return ok;
}

bool CooccurrenceTask::SpillPairs() {
  PairRunWriter writer;
  if (!writer.Open(files_.OpenRawSpill())) return false;

  // Sort by the byte order of the terms: replace each id by its rank among
  // all terms, so that pairs sort as plain integers.
  termCountTable_.UpdateOrder();
  const int bits = RankBits(termCountTable_.size());
  const uint64_t low_mask = (uint64_t{1} << bits) - 1;
  const size_t n = pairTable_.size();
  int64_t max_count = 0;
  Slot* entries = pairTable_.TakeEntries(&max_count);
  auto rank_key = [&](uint64_t key) {
    return (static_cast<uint64_t>(termCountTable_.Rank(static_cast<uint32_t>(key >> 32)))
            << bits) |
           termCountTable_.Rank(static_cast<uint32_t>(key));
  };
  auto write = [&](uint64_t key, int64_t count) {
    writer.Add(termCountTable_.IdAtRank(static_cast<uint32_t>(key >> bits)),
               termCountTable_.IdAtRank(static_cast<uint32_t>(key & low_mask)), count);
  };
  const int key_bits = 2 * bits;
  if (FitsPacked(key_bits, max_count)) {
    // Word i lies in slot i / 2, which has been read by then; the sort's
    // room, words n to 2n, lies within the table's storage.
    uint64_t* words = reinterpret_cast<uint64_t*>(entries);
    const int count_bits = 64 - key_bits;
    for (size_t i = 0; i < n; ++i) {
      const Slot slot = entries[i];
      words[i] = (rank_key(slot.key) << count_bits) | static_cast<uint64_t>(slot.count);
    }
    SortPackedSpill(words, n, key_bits);
    const uint64_t count_mask = (uint64_t{1} << count_bits) - 1;
    for (size_t i = 0; i < n; ++i) {
      write(words[i] >> count_bits, static_cast<int64_t>(words[i] & count_mask));
    }
  } else {
    for (size_t i = 0; i < n; ++i) entries[i].key = rank_key(entries[i].key);
    SortSpillEntries(entries, n, pairTable_.capacity(), key_bits);
    for (size_t i = 0; i < n; ++i) write(entries[i].key, entries[i].count);
  }
  return writer.Finish();
}

int CooccurrenceTask::Finish() {
  if (spill_failed_) return VOCS_E_NO_RESULT_FILE;
  if (!pairTable_.empty() || spillFiles().empty()) {
    const bool spilled = SpillPairs();
    if (!spilled) {
      pairTable_.Release();
      spill_failed_ = true;
      return VOCS_E_NO_RESULT_FILE;
    }
  }
  // Counting is over: the table's storage holds the merged pairs for
  // delivery, or goes.
  KeepStorageForMergedPairs();
  // Even a single run is merged: the spill files hold ids, the result file
  // pair lines.
  if (files_.MakeResultFile() && MergeSpillFiles()) return 0;
  merged_ = MergedPairs();
  return VOCS_E_NO_RESULT_FILE;
}

bool CooccurrenceTask::MergeSpillFiles() {
  termCountTable_.UpdateOrder();
  const TermIdTable& terms = termCountTable_;
  const int bits = RankBits(terms.size());
  const uint64_t low_mask = (uint64_t{1} << bits) - 1;
  // Passes of at most kMergeFanIn runs, the oldest first, each into an
  // intermediate file beside the result file, until one pass is left; the
  // intermediate files are deleted once the result file is complete, and
  // stay after a failure.
  std::vector<std::string> runs = spillFiles();
  std::vector<std::string> intermediates;
  const std::string directory = tempDir();
  size_t first = 0;
  while (runs.size() - first > kMergeFanIn) {
    const std::vector<std::string> group(runs.begin() + static_cast<ptrdiff_t>(first),
                                         runs.begin() + static_cast<ptrdiff_t>(first + kMergeFanIn));
    std::string path;
    if (!ReserveNextMergeFileName(directory, &path)) return false;
    intermediates.push_back(path);
    PairRunWriter writer;
    if (!writer.Open(CurrentEnv()->NewWritableFile(path))) return false;
    const bool merged = MergePairRuns(terms, group, [&](uint64_t key, int64_t count) {
      writer.Add(terms.IdAtRank(static_cast<uint32_t>(key >> bits)),
                 terms.IdAtRank(static_cast<uint32_t>(key & low_mask)), count);
      return true;
    });
    if (!writer.Finish() || !merged) return false;
    runs.push_back(std::move(path));
    first += kMergeFanIn;
  }
  RunWriter<PairLineCodec> out;
  if (!out.Open(resultPath())) {
    merged_ = MergedPairs();
    return false;
  }
  merged_.bits = bits;
  merged_.count_bits = 64 - 2 * bits;
  merged_.size = 0;
  const std::vector<std::string> last(runs.begin() + static_cast<ptrdiff_t>(first), runs.end());
  // The merged pairs are written a batch at a time: term2's place in the
  // ordered terms and then its bytes are random reads, fetched some pairs
  // ahead of the line that needs them.
  struct MergedPair {
    uint64_t key;
    int64_t count;
  };
  std::vector<MergedPair> batch(kMergeBatch);
  size_t fill = 0;
  auto write_batch = [&] {
    auto rank2_at = [&](size_t i) { return static_cast<uint32_t>(batch[i].key & low_mask); };
    for (size_t i = 0; i < fill; ++i) {
      if (i + kRankAhead < fill) terms.PrefetchRank(rank2_at(i + kRankAhead));
      if (i + kTermAhead < fill) terms.PrefetchTermAtRank(rank2_at(i + kTermAhead));
      const MergedPair& pair = batch[i];
      PairLineCodec::Entry entry;
      entry.term1 = terms.TermAtRank(static_cast<uint32_t>(pair.key >> bits));
      entry.term2 = terms.TermAtRank(rank2_at(i));
      entry.count = pair.count;
      out.AddInOrder(entry);
      if (merged_.kept) KeepMergedPair(pair.key, pair.count);
    }
    fill = 0;
    return out.ok();
  };
  const bool merged = MergePairRuns(terms, last, [&](uint64_t key, int64_t count) {
    batch[fill++] = MergedPair{key, count};
    return fill < kMergeBatch || write_batch();
  });
  // What a failed merge had gathered is written as well, as the pairs
  // before the failure always were.
  write_batch();
  if (!out.Finish() || !merged) {
    merged_ = MergedPairs();
    return false;
  }
  for (const std::string& path : intermediates) CurrentEnv()->RemoveFile(path);
  return true;
}

std::string CooccurrenceTask::SpillFileTextForTesting(const std::string& path) {
  termCountTable_.UpdateOrder();
  const TermIdTable& terms = termCountTable_;
  const int bits = RankBits(terms.size());
  PairRunReader reader(&terms, bits);
  std::string text;
  if (!reader.Open(path)) return "(unreadable)";
  while (reader.Next()) {
    text.append(terms.TermAtRank(static_cast<uint32_t>(reader.key() >> bits)));
    text += '\t';
    text.append(terms.TermAtRank(static_cast<uint32_t>(reader.key() & ((uint64_t{1} << bits) - 1))));
    text += '\t' + std::to_string(reader.count()) + '\n';
  }
  if (reader.failed()) text += "(damaged)";
  return text;
}

int64_t CooccurrenceTask::TermCountForTesting(std::string_view term) const {
  const uint32_t id = termCountTable_.Find(term);
  return id == TermIdTable::kNoTerm ? 0 : termCountTable_.Count(id);
}

}  // namespace vocs
