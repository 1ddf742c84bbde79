// PairEstimate: how much work a co-occurrence statement is, before it runs.
//
// Every ordered pair of term occurrences within one record counts, so a
// record of n terms in one field gives n(n-1)/2 pairs, and fields a and b of
// one record give n_a * n_b; a few long records can make billions of pairs,
// and the engine's spill and merge files grow with them. The estimate counts
// the terms of each record the way the run will (the term rule: at least four
// bytes in the module's code page and a first byte of "A" or above; NORMAL
// texts segmented by the host's segmenter, sampled when they are large) and
// sizes the temporary files from the pairs and the terms' average length.
// Pairs that repeat within a record are stored once per spill, so the files
// are sized from each record's distinct pairs where its distinct terms are
// known; the result is an upper bound, as repeats across records within one
// spill are stored once too.
//
// Plain functions; any thread (each call uses its own segmenter).
#ifndef VOCS_CLI_PAIR_ESTIMATE_H_
#define VOCS_CLI_PAIR_ESTIMATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/input_files.h"
#include "host/database.h"
#include "lang/stat_command.h"

namespace vocs::cli {

struct PairEstimate {
  double records = 0;
  double pairs = 0;          // pair occurrences
  double spilled_pairs = 0;  // spill lines at most: pairs less repeats within a record
  double temp_bytes = 0;     // spill and merge files, at most
};

// The statement's pairs over FROM files (one record whose sources are the
// files: pairs across every two files, or within the file when one file was
// named).
PairEstimate EstimateFilePairs(const std::vector<InputFile>& files, bool single_named_file);

// The statement's pairs over the records of its query. False with *error set
// when the query cannot be run or lacks a field.
bool EstimateQueryPairs(host::Database* db, const StatCommand& command, PairEstimate* estimate,
                        std::string* error);

// The bytes the run's work files may take at most: the temporary files, and
// for a table output the load files (a tagged record of about 116 bytes per
// result pair).
double WorkBytes(const PairEstimate& estimate, bool to_table);

// "1.2 GB", "340 MB", "12 kB", "512 bytes".
std::string FormatBytes(double bytes);
// "3.4 billion", "120 million", "12,345".
std::string FormatCount(double count);

}  // namespace vocs::cli

#endif  // VOCS_CLI_PAIR_ESTIMATE_H_
