// Packed requests: the binary form of a statistics request that a server
// sends after "r!" and the request name.
//
// Body layout (integers 32-bit little-endian, unaligned, directly after the
// preceding string's terminator; strings 0-terminated):
//
//   int32 N                       item count; 0 or less means no item
//   N x { text, int32 mode, mode text }
//   int32 output kind             kTableOutput (2) = host table, any other value = file
//   output name
//   int32 minimum frequency       frequency requests only
//
// DecodePackedBody reads a body against an explicit end and refuses one that
// runs past it. MeasurePackedBody finds that end for a caller that has no
// length (the module's Execute entry): it trusts the body to be well formed
// and is the one place where an unbounded read happens.
#ifndef VOCS_API_PACKED_REQUEST_H_
#define VOCS_API_PACKED_REQUEST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "lang/stat_command.h"

namespace vocs {

struct PackedItem {
  std::string text;
  int32_t mode = 0;
  std::string modeText;
};

struct PackedRequest {
  std::vector<PackedItem> items;
  int32_t outputKind = kNoOutput;  // a CommandOutputKind
  std::string outputName;
  int32_t minFrequency = 0;  // stays 0 for co-occurrence requests
};

// Decodes [body, end). False when a string or an integer does not end before
// `end`. Bytes after the last field are ignored.
bool DecodePackedBody(const char* body, const char* end, bool has_min_frequency,
                      PackedRequest* request);

// The end of a well-formed body that starts at `body`, found by walking its
// fields without a bound.
const char* MeasurePackedBody(const char* body, bool has_min_frequency);

}  // namespace vocs

#endif  // VOCS_API_PACKED_REQUEST_H_
