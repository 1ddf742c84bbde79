// RunWriter: writes one sorted run, a spill file or a merge file, in the line
// format of its codec: Open, Add in strictly ascending key order, Finish.
//
// Lines are composed in a LineBuffer and handed to the file in pieces of
// about 64 KiB. Add compares every key with the one before it; a key that
// does not sort after its predecessor fails the writer, since a run out of
// order would make the merge miss equal keys and write them twice. To keep
// that check free of copies, the entry passed to Add must keep its bytes
// until the next Add (or Finish). A caller that has made the same comparison
// already (the merge's folding step) uses AddInOrder instead.
//
// Failure is sticky: once the file does not open, a write fails or a key
// comes out of order, the writer stays failed (ok() is false), later entries
// are dropped, and Finish returns false. The file is left where it is; what
// becomes of it is the owner's business.
//
// A writer is used by one thread. File access goes through CurrentEnv().
#ifndef VOCS_SORTED_RUN_RUN_WRITER_H_
#define VOCS_SORTED_RUN_RUN_WRITER_H_

#include <memory>
#include <string>
#include <utility>

#include "platform/env.h"
#include "sorted_run/line_buffer.h"
#include "sorted_run/run_codec.h"

namespace vocs {

template <RunCodec Codec>
class RunWriter {
 public:
  using Entry = typename Codec::Entry;

  RunWriter() = default;
  RunWriter(const RunWriter&) = delete;
  RunWriter& operator=(const RunWriter&) = delete;

  // Creates or truncates the file at `path`. False when it does not open.
  bool Open(const std::string& path) { return Open(CurrentEnv()->NewWritableFile(path)); }
  // Writes to a file the caller has opened (null: the open failed).
  bool Open(std::unique_ptr<WritableFile> file) {
    file_ = std::move(file);
    buffer_.clear();
    has_last_ = false;
    ok_ = file_ != nullptr;
    return ok_;
  }

  // Appends the entry's line.
  void Add(const Entry& entry) {
    if (!ok_) return;
    if (has_last_ && Codec::Compare(last_, entry) >= 0) {
      ok_ = false;
      return;
    }
    last_ = entry;
    has_last_ = true;
    Codec::Append(entry, &buffer_);
    if (buffer_.size() >= kChunk) Flush();
  }

  // Appends the line of an entry the caller has found to sort after the one
  // it added before; no key is kept for the next Add to compare with.
  void AddInOrder(const Entry& entry) {
    if (!ok_) return;
    has_last_ = false;
    Codec::Append(entry, &buffer_);
    if (buffer_.size() >= kChunk) Flush();
  }

  // Writes what is buffered and closes the file. False when anything failed
  // since Open: the file then does not hold the whole run.
  bool Finish() {
    if (!file_) return false;
    if (ok_ && !buffer_.empty()) Flush();
    if (!file_->Close()) ok_ = false;
    file_.reset();
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  static constexpr size_t kChunk = 64 * 1024;

  void Flush() {
    if (!file_->Append(buffer_.view())) ok_ = false;
    buffer_.clear();
  }

  std::unique_ptr<WritableFile> file_;
  LineBuffer buffer_;
  Entry last_{};
  bool has_last_ = false;
  bool ok_ = false;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_RUN_WRITER_H_
