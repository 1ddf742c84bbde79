#include "cooc/pair_merger.h"

#include <atomic>
#include <bit>
#include <cstring>

#include "cooc/pair_line.h"
#include "freq/stat_task.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"

namespace vocs {

namespace {

// Names the intermediate files of every co-occurrence merge in the process.
std::atomic<int32_t> g_merge_counter{0};

// A cursor keeps at most this many bytes of a term, as a fixed field would.
constexpr size_t kMaxCursorTerm = 1023;
// Output is handed to the file in pieces of about this size.
constexpr size_t kOutputChunk = 64 * 1024;

// The first 8 bytes of `term`, zero-padded, as a big-endian number: ordered
// as the bytes are, a proper prefix first.
uint64_t OrderPrefix(std::string_view term) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, term.data(), term.size() < 8 ? term.size() : 8);
#if defined(__GNUC__)
  uint64_t v;
  std::memcpy(&v, bytes, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
#else
  uint64_t v = 0;
  for (unsigned char b : bytes) v = (v << 8) | b;
  return v;
#endif
}

}  // namespace

int32_t NextCooccurrenceMergeNumberForTesting() { return g_merge_counter.load(); }

PairMerger::PairMerger(std::string destination, const std::vector<std::string>& spill_files)
    : destination_(std::move(destination)),
      tree_(kMergeFanIn, -1),
      cursors_(kMergeFanIn),
      pendingSpills_(spill_files) {
  const size_t slash = FindLastMbcs(destination_, kPathSeparator);
  if (slash != std::string::npos) directory_ = destination_.substr(0, slash + 1);
}

bool PairMerger::Run() {
  if (pendingSpills_.empty()) return false;
  for (;;) {
    const size_t n = TakeBatch();
    if (n == 1) {
      outputPath_ = cursors_[0].path;
      cursors_[0].path.clear();
      break;
    }
    const bool ok = OpenInputs() && OpenOutput() && MergePass();
    CloseInputs();
    if (output_ != nullptr) {
      if (!output_->Close()) failed_ = true;
      output_.reset();
    }
    if (!ok || failed_) return false;
    pendingIntermediates_.push_back(outputPath_);
    intermediates_.push_back(outputPath_);
  }
  Env* env = CurrentEnv();
  // The final file lies beside the destination, so a rename replaces the
  // destination as a copy would, without writing the whole file again; the
  // copy remains for a final file that cannot be renamed.
  const bool moved = !intermediates_.empty() && outputPath_ == intermediates_.back() &&
                     env->MoveFile(outputPath_, destination_);
  const bool done = moved || env->CopyFile(outputPath_, destination_);
  for (const std::string& path : intermediates_) {
    if (!(moved && path == outputPath_)) env->DeleteFile(path);
  }
  return done;
}

size_t PairMerger::TakeBatch() {
  size_t n = 0;
  while (n < cursors_.size()) {
    std::vector<std::string>* from = !pendingSpills_.empty()          ? &pendingSpills_
                                     : !pendingIntermediates_.empty() ? &pendingIntermediates_
                                                                      : nullptr;
    if (from == nullptr) break;
    cursors_[n].path = std::move(from->back());
    from->pop_back();
    ++n;
  }
  if (n < cursors_.size() && n > 1) {
    cursors_.resize(n);
    tree_.resize(n);
  }
  return n;
}

bool PairMerger::OpenInputs() {
  for (PairCursor& cursor : cursors_) {
    cursor.exhausted = false;
    std::unique_ptr<SequentialFile> file = CurrentEnv()->NewSequentialFile(cursor.path);
    // A spill file that cannot be opened would take its counts with it.
    if (file == nullptr) return false;
    cursor.file = std::make_unique<LineReader>(std::move(file));
  }
  return true;
}

bool PairMerger::OpenOutput() {
  if (!ReserveMergeFileName(directory_, &g_merge_counter, &outputPath_)) return false;
  output_ = CurrentEnv()->NewWritableFile(outputPath_);
  if (output_ == nullptr) CurrentEnv()->DeleteFile(outputPath_);  // the reserved empty file
  return output_ != nullptr;
}

void PairMerger::CloseInputs() {
  for (PairCursor& cursor : cursors_) {
    cursor.file.reset();
    cursor.path.clear();
    cursor.term1 = cursor.term2 = std::string_view();
  }
}

bool PairMerger::ReadNext(size_t i) {
  PairCursor& cursor = cursors_[i];
  if (cursor.exhausted) return false;
  std::string_view line;
  PairLine pair;
  while (cursor.file->ReadLine(&line)) {
    if (!ParsePairLine(line, &pair)) continue;
    cursor.term1 = pair.term1.substr(0, kMaxCursorTerm);
    cursor.term2 = pair.term2.substr(0, kMaxCursorTerm);
    cursor.prefix1 = OrderPrefix(cursor.term1);
    cursor.prefix2 = OrderPrefix(cursor.term2);
    cursor.count = pair.count;
    return true;
  }
  if (cursor.file->error()) failed_ = true;
  cursor.exhausted = true;
  return false;
}

bool PairMerger::Greater(size_t a, size_t b) const {
  const PairCursor& x = cursors_[a];
  const PairCursor& y = cursors_[b];
  // Unsigned byte order of (term1, term2); equal prefixes need the bytes.
  if (x.prefix1 != y.prefix1) return x.prefix1 > y.prefix1;
  const int c = x.term1.compare(y.term1);
  if (c != 0) return c > 0;
  if (x.prefix2 != y.prefix2) return x.prefix2 > y.prefix2;
  return x.term2.compare(y.term2) > 0;
}

void PairMerger::Replay(int s) {
  const int k = static_cast<int>(cursors_.size());
  int w = s;
  for (int t = (s + k) / 2; t > 0; t /= 2) {
    const int e = tree_[static_cast<size_t>(t)];
    const bool w_loses =
        e == -1 ||
        (w != -1 && w != e &&
         (cursors_[static_cast<size_t>(w)].exhausted ||
          (!cursors_[static_cast<size_t>(e)].exhausted &&
           Greater(static_cast<size_t>(w), static_cast<size_t>(e)))));
    if (w_loses) {
      tree_[static_cast<size_t>(t)] = w;
      w = e;
    }
  }
  tree_[0] = w;
}

void PairMerger::Emit(size_t i) {
  const PairCursor& cursor = cursors_[i];
  if (pendingHolds_) {
    if (pendingPrefix1_ == cursor.prefix1 && pendingPrefix2_ == cursor.prefix2 &&
        pendingTerm1_ == cursor.term1 && pendingTerm2_ == cursor.term2) {
      pendingCount_ += cursor.count;
      return;
    }
    WritePending();
  }
  pendingTerm1_.assign(cursor.term1);
  pendingTerm2_.assign(cursor.term2);
  pendingPrefix1_ = cursor.prefix1;
  pendingPrefix2_ = cursor.prefix2;
  pendingCount_ = cursor.count;
  pendingHolds_ = true;
}

void PairMerger::WritePending() {
  outputBuffer_.Append(pendingTerm1_, pendingTerm2_, pendingCount_);
  if (outputBuffer_.size() >= kOutputChunk) {
    if (!output_->Append(outputBuffer_.view())) failed_ = true;
    outputBuffer_.clear();
  }
}

bool PairMerger::MergePass() {
  pendingHolds_ = false;
  outputBuffer_.clear();
  const int k = static_cast<int>(cursors_.size());
  for (size_t i = 0; i < cursors_.size(); ++i) ReadNext(i);
  for (int& entry : tree_) entry = -1;
  for (int i = k - 1; i >= 0; --i) Replay(i);
  while (!cursors_[static_cast<size_t>(tree_[0])].exhausted) {
    const size_t winner = static_cast<size_t>(tree_[0]);
    Emit(winner);
    ReadNext(winner);
    Replay(static_cast<int>(winner));
  }
  if (pendingHolds_) {
    WritePending();
    pendingHolds_ = false;
  }
  if (!outputBuffer_.empty()) {
    if (!output_->Append(outputBuffer_.view())) failed_ = true;
    outputBuffer_.clear();
  }
  return !failed_;
}

}  // namespace vocs
