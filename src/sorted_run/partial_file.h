// Partial result file: what one run has counted before delivery, written as
// one file so that the runs over different records of one statement (shards)
// can be merged and delivered as if one run had counted them all.
//
// A partial holds an engine's merged result lines (its sorted-run line
// format, in ascending key order, every key once) and what delivery needs
// besides: the number of records counted and, for co-occurrence, each term's
// participation count and their total. Every figure adds up across shards;
// averages, the smallest count over all records, support, reliability and
// the minimum-frequency filter are computed only when the merged result is
// delivered.
//
// Format, version 1. Text lines ending in LF; numbers in decimal:
//
//   vocs partial 1                 magic and format version
//   engine NAME                    "frequency" or "cooccurrence"
//   shard I of N                   1 <= I <= N: which range of the records
//   run FINGERPRINT                1 to 64 lower-case hex digits naming the
//                                  statement the shards belong to, or "-"
//   writer-mode M                  the columns delivery writes
//   min-frequency F                the minimum frequency applied at delivery
//   records R                      records counted (0 or more)
//   term-total T                   sum of the term counts below
//   terms K                        number of term lines that follow
//   t HEX COUNT                    K times, in ascending byte order of the
//                                  terms: the term's bytes in lower-case hex
//                                  and its participation count (above 0)
//   ...body...                     the engine's result lines, verbatim
//   end L B CHECKSUM               the body's line count and byte count, and
//                                  the PartialChecksum (16 lower-case hex
//                                  digits) of every byte before this line
//
// No line of the partial's own holds a TAB, while every line of either
// engine holds at least two; so the run merger and the delivery, whose line
// parsers refuse lines without TABs, pass over them, and the partial files
// themselves can be handed to the merger as sorted runs.
//
// Reading is strict: a file whose first line is not the magic, whose version
// is another, whose header lines are missing, out of order or malformed,
// whose term lines are out of order or do not add up to the total, whose
// body is truncated, extended or reordered (the checksum and the counts), or
// that goes on after its last line is refused with a message naming the
// file and the problem. Nothing is merged from a refused file.
//
// Plain functions; any thread. File access goes through CurrentEnv().
#ifndef VOCS_SORTED_RUN_PARTIAL_FILE_H_
#define VOCS_SORTED_RUN_PARTIAL_FILE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vocs {

inline constexpr int kPartialFormatVersion = 1;
inline constexpr std::string_view kFrequencyPartial = "frequency";
inline constexpr std::string_view kCooccurrencePartial = "cooccurrence";

struct PartialHeader {
  std::string engine;
  int32_t shard = 1;   // 1-based
  int32_t shards = 1;
  std::string run;     // hex fingerprint, or empty for none ("-")
  int32_t writer_mode = 0;
  int32_t min_frequency = 0;
  int64_t records = 0;
  int64_t term_total = 0;
  int64_t terms = 0;   // term lines; filled by the writer from the list
};

// One term of a co-occurrence partial and the pairs it took part in.
using PartialTermCount = std::pair<std::string, int64_t>;

// Writes the partial at `path`: `header` (terms taken from the list),
// `term_counts` sorted by term bytes (the writer sorts them), and the lines
// of the sorted run at `body_path` verbatim. False with *error set when the
// header cannot be written as given (a bad fingerprint, shard or engine
// name), when the body does not end in a line feed, or when a file cannot be
// read or written; a file left behind then is incomplete and reads as such.
bool WritePartialFile(const std::string& path, PartialHeader header,
                      std::vector<PartialTermCount> term_counts, const std::string& body_path,
                      std::string* error);

// Reads and checks the whole partial at `path`: fills *header and hands each
// term line to `on_term` (which may refuse it by returning false). False with
// *error set ("<path>: <problem>") when the file is refused.
bool ReadPartialFile(const std::string& path, PartialHeader* header,
                     const std::function<bool(std::string_view term, int64_t count)>& on_term,
                     std::string* error);

// Reads only the header of the partial at `path`, for a first look (which
// engine); it checks nothing beyond the header. False with *error set.
bool ReadPartialHeader(const std::string& path, PartialHeader* header, std::string* error);

// Checks that `headers` (read from `paths`) are the shards of one run that
// can be merged: one engine, one fingerprint, writer mode and minimum
// frequency, one shard count, and every shard 1..N exactly once. False with
// *error set naming the files that disagree or the shards missing.
bool CheckPartialSet(const std::vector<std::string>& paths,
                     const std::vector<PartialHeader>& headers, std::string* error);

// The checksum of a partial, fed in pieces of any size: the bytes are taken
// as little-endian 64-bit words w, each folded in as h = rotl((h ^ w) * K,
// 29) from h = 0x243F6A8885A308D3 with K = 0x9E3779B97F4A7C15; the last 0
// to 7 bytes, zero-padded, are folded in the same way with their count in
// the top byte; then the total length is xor-ed in and the result mixed by
// the MurmurHash3 finalizer. A word at a time, it costs a fraction of
// reading the file; any change of bytes, their order or the length changes
// it with overwhelming likelihood. Not a defence against deliberate forgery.
class PartialChecksum {
 public:
  void Update(std::string_view bytes);
  uint64_t Final() const;

 private:
  uint64_t h_ = 0x243F6A8885A308D3ull;
  uint64_t length_ = 0;
  unsigned char pending_[8] = {};
  size_t pending_size_ = 0;
};

// The PartialChecksum of `bytes` in one piece.
uint64_t PartialChecksumOf(std::string_view bytes);


}  // namespace vocs

#endif  // VOCS_SORTED_RUN_PARTIAL_FILE_H_
