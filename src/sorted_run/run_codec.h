// RunCodec: what the sorted-run machinery needs to know about one kind of
// line. A sorted run is a text file of lines in strictly ascending key order;
// each engine has its own line format, and its codec is the only place that
// knows it (freq/term_line.h, cooc/pair_line.h). The run writer, the merger
// and the folding of equal keys are written once against this concept.
//
// A codec is a type with static operations:
//
//   Entry   one line as read or to be written: views of its key bytes and
//           its values. Views point into the line (or the caller's storage).
//   Held    an entry that owns its bytes: the fold of equal keys in a merge.
//   Parse(line, &entry)    false for a line that is not an entry; such lines
//                          are skipped by the merge (an empty line, a line
//                          damaged or of another kind).
//   Compare(a, b)          <0, 0 or >0 as a's key sorts before, with, or
//                          after b's: the order of the run files.
//   Hold(entry, &held)     held becomes a copy of entry.
//   Fold(entry, &held)     adds entry's values to held, whose key is equal;
//                          sums go through AddCounts.
//   View(held)             the entry of held, viewing its bytes.
//   Append(entry, &buffer) composes the entry's line, line feed included.
//
// Optional:
//
//   Key(entry)             a 64-bit number such that entries whose numbers
//                          differ compare as the numbers do: the merge's loser
//                          tree compares these and calls Compare on ties.
//   BinaryReader, BinaryWriter
//                          a binary form of the engine's own for its spill
//                          and intermediate files (RunMerger, RunForm).
//
// Parse and Append must agree: Parse(the line Append wrote) gives back an
// entry that compares equal, with the same values. A file of another shape
// (a partial result with lines of its own before the entries, say) is
// merged through a codec whose Parse refuses those lines.
#ifndef VOCS_SORTED_RUN_RUN_CODEC_H_
#define VOCS_SORTED_RUN_RUN_CODEC_H_

#include <concepts>
#include <cstdint>
#include <limits>
#include <string_view>

#include "sorted_run/line_buffer.h"

namespace vocs {

// How Fold adds two counts. Counts the engines write stay far below the
// 64-bit range; a sum beyond it can only come from a damaged run file, and is
// held at the nearest limit rather than left to overflow (which C++ leaves
// undefined). Every codec folds its sums through this one function.
inline int64_t AddCounts(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return sum;
}

template <typename C>
concept RunCodec = std::semiregular<typename C::Entry> && std::default_initializable<typename C::Held> &&
    requires(std::string_view line, typename C::Entry* entry, const typename C::Entry& e,
             typename C::Held* held, const typename C::Held& h, LineBuffer* out) {
      { C::Parse(line, entry) } -> std::same_as<bool>;
      { C::Compare(e, e) } -> std::same_as<int>;
      C::Hold(e, held);
      C::Fold(e, held);
      { C::View(h) } -> std::same_as<typename C::Entry>;
      C::Append(e, out);
    };

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_RUN_CODEC_H_
