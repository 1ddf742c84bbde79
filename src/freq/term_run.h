// Term runs: the binary form of the frequency engine's spill files and of
// its intermediate merge files. The result file and the partial results that
// sharded runs exchange stay term lines (freq/term_line.h); a merge reads
// either form through one cursor and writes its last pass as lines.
//
// A run is only ever read back by the run that wrote it, on the same
// machine, so it is made for speed, not for exchange: an eight-byte mark
// (kTermRunMark), then one record per term, in strictly ascending unsigned
// byte order of the terms:
//
//   length   the term's byte count, 0 to 256, two bytes in the machine's
//            byte order
//   total, records, maxCount, minCount
//            unsigned LEB128 (seven bits a byte, low group first, the high
//            bit set on every byte but the last); most counts are below 128
//            and take one byte, so the four usually read as one word
//   term     the term's bytes
//
// Neither writing nor reading formats or parses a decimal number or looks
// for a line end.
//
// A run is trusted no further than TermRunReader's checks: a file without
// the mark, a record cut off by the end of the file, a term longer than 256
// bytes, counts that no run of records can give (records or minCount below
// 1, maxCount below minCount, records or maxCount above total, or more than
// 63 bits), or a term that does not sort after the one before it fail the
// reader with a message, so that no count is delivered twice, lost in
// silence or made up.
//
// Writers and readers are used by one thread; file access goes through
// CurrentEnv().
#ifndef VOCS_FREQ_TERM_RUN_H_
#define VOCS_FREQ_TERM_RUN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

// The numbers of one term: those of a line, a record, a fold.
struct SpillCounts {
  int64_t total = 0;
  int64_t records = 0;
  int64_t maxCount = 0;
  int64_t minCount = 0;
};

// One term and its numbers; the term views storage of the caller's.
struct TermEntry {
  std::string_view term;
  SpillCounts counts;
};

inline constexpr std::string_view kTermRunMark = "vocsTRM1";

// Writes one run: Open, Add in ascending term order, Finish. The order is
// the caller's to keep (the spill sort, the merge); the reader checks it.
// Failure is sticky; Finish returns false when anything failed since Open.
class TermRunWriter {
 public:
  TermRunWriter();
  TermRunWriter(const TermRunWriter&) = delete;
  TermRunWriter& operator=(const TermRunWriter&) = delete;

  // Writes to a file the caller has opened (null: the open failed), starting
  // with the mark.
  bool Open(std::unique_ptr<WritableFile> file);
  // `term` holds at most 256 bytes and every count is 0 or more.
  void Add(std::string_view term, const SpillCounts& counts);
  void Add(const TermEntry& entry) { Add(entry.term, entry.counts); }
  bool ok() const { return ok_; }
  bool Finish();

 private:
  void Flush();

  std::unique_ptr<WritableFile> file_;
  std::string buffer_;
  size_t fill_ = 0;
  bool ok_ = false;
};

// Reads one run record by record. The entry's term views the reader's
// buffer until the next call of Next.
class TermRunReader {
 public:
  TermRunReader() = default;
  TermRunReader(const TermRunReader&) = delete;
  TermRunReader& operator=(const TermRunReader&) = delete;

  // Reads from a file the caller has opened (null: the open failed, which
  // fails the reader) and checks the mark. False on failure.
  bool Open(std::unique_ptr<SequentialFile> file);
  // Moves to the next record. False at the end of the run or on a failure
  // (failed() tells which).
  bool Next(TermEntry* entry);

  bool failed() const { return error_ != nullptr; }
  // What failed, or null.
  const char* error() const { return error_; }

 private:
  // Makes at least one whole record (or the rest of the file) readable at
  // next_. False on a read error.
  bool Fill();
  bool Fail(const char* error) {
    error_ = error;
    return false;
  }

  std::unique_ptr<SequentialFile> file_;
  std::string buffer_;
  size_t next_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  const char* error_ = nullptr;
  // The term before the current one, for the order check; a copy is taken
  // when a refill would move its bytes.
  std::string_view last_term_;
  std::string last_copy_;
  bool started_ = false;
};

// The run at `path` as term lines (the form a merge's last pass writes), for
// tests and for looking at a run by hand. False, with `error` set, when the
// reader refuses it.
bool TermRunTextForTesting(const std::string& path, std::string* text, std::string* error);

}  // namespace vocs

#endif  // VOCS_FREQ_TERM_RUN_H_
