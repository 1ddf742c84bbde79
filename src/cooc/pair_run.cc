#include "cooc/pair_run.h"

#include <bit>
#include <cstring>

namespace vocs {

namespace {

// Records a writer gathers and a reader reads at once (256 KiB).
constexpr size_t kBufferRecords = 16384;

}  // namespace

int RankBits(size_t terms) { return terms <= 1 ? 0 : std::bit_width(terms - 1); }

PairRunWriter::PairRunWriter() : buffer_(kBufferRecords) {}

bool PairRunWriter::Open(std::unique_ptr<WritableFile> file) {
  file_ = std::move(file);
  fill_ = 0;
  ok_ = file_ != nullptr;
  return ok_;
}

void PairRunWriter::Flush() {
  if (ok_ && fill_ > 0) {
    const std::string_view bytes(reinterpret_cast<const char*>(buffer_.data()),
                                 fill_ * sizeof(PairRecord));
    if (!file_->Append(bytes)) ok_ = false;
  }
  fill_ = 0;
}

bool PairRunWriter::Finish() {
  if (!file_) return false;
  Flush();
  if (!file_->Close()) ok_ = false;
  file_.reset();
  return ok_;
}

bool PairRunReader::Open(const std::string& path) {
  file_ = CurrentEnv()->NewSequentialFile(path);
  if (file_ == nullptr) {
    failed_ = true;
    return false;
  }
  buffer_.resize(kBufferRecords);
  keys_.resize(kBufferRecords);
  return true;
}

bool PairRunReader::Fill() {
  // An incomplete record left at the end of the last read moves to the front.
  char* bytes = reinterpret_cast<char*>(buffer_.data());
  if (partial_bytes_ > 0) std::memmove(bytes, bytes + end_ * sizeof(PairRecord), partial_bytes_);
  size_t have = partial_bytes_;
  const size_t room = buffer_.size() * sizeof(PairRecord);
  while (have < sizeof(PairRecord)) {
    const int64_t n = file_->Read(bytes + have, room - have);
    if (n < 0) {
      failed_ = true;
      return false;
    }
    if (n == 0) {
      // The end of the file: a piece of a record means a damaged run.
      if (have > 0) failed_ = true;
      return false;
    }
    have += static_cast<size_t>(n);
  }
  next_ = 0;
  end_ = have / sizeof(PairRecord);
  partial_bytes_ = have % sizeof(PairRecord);
  const size_t terms = terms_->size();
  bad_at_ = end_;
  for (size_t i = 0; i < end_; ++i) {
    const PairRecord& r = buffer_[i];
    if (r.id1 >= terms || r.id2 >= terms || r.count < 1) {
      bad_at_ = i;
      break;
    }
    const uint64_t key =
        (static_cast<uint64_t>(terms_->Rank(r.id1)) << bits_) | terms_->Rank(r.id2);
    if (started_ && key <= last_key_) {
      bad_at_ = i;
      break;
    }
    started_ = true;
    last_key_ = key;
    keys_[i] = key;
  }
  return true;
}

bool PairRunReader::Next() {
  if (failed_ || file_ == nullptr) return false;
  if (next_ == end_ && !Fill()) return false;
  if (next_ == bad_at_) {
    failed_ = true;
    return false;
  }
  key_ = keys_[next_];
  count_ = buffer_[next_].count;
  ++next_;
  return true;
}

}  // namespace vocs
