// ParseJsonObject: one line of a JSON Lines file, an object of named values.
//
// Strings become UTF-8 text (escapes decoded, \u surrogate pairs joined);
// integers that fit 64 bits become integers, other numbers reals; true and
// false become 1 and 0; null stays null; nested arrays and objects are kept
// as their JSON text. Keys must be unique within the object.
#ifndef VOCS_CLI_JSON_LINE_H_
#define VOCS_CLI_JSON_LINE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/corpus_reader.h"

namespace vocs::cli {

// False with *error (naming the byte offset) when the line is not one JSON
// object.
bool ParseJsonObject(std::string_view line, std::vector<std::pair<std::string, FieldValue>>* out,
                     std::string* error);

}  // namespace vocs::cli

#endif  // VOCS_CLI_JSON_LINE_H_
