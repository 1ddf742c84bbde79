// The FROM inputs of a statement, checked before the module reads them.
//
// The module skips a FROM name that does not exist and reads whatever bytes
// a file holds; it cannot say which input was missing or was no text. The
// command therefore expands every name the way the module will (a directory
// stands for its ".txt" files, recursively; other names are files) and checks
// each file: it exists and can be read, its name has a form in the module's
// code page, and its text decodes (UTF-8 or GB18030, as the run's encoding
// says). Every problem is reported, each naming its input.
//
// Plain functions; any thread.
#ifndef VOCS_CLI_INPUT_FILES_H_
#define VOCS_CLI_INPUT_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "host/text_codec.h"
#include "host/word_segmenter.h"

namespace vocs::cli {

struct InputFile {
  std::string path;  // absolute, UTF-8
  uint64_t size = 0;
  int source = 0;  // the position of the FROM name it came from
};

// Expands and checks `names` (absolute UTF-8 paths, in statement order).
// Returns the files in the order the names were given (a directory's files
// sorted by name); *problems receives one message per input that fails.
std::vector<InputFile> CheckInputFiles(const std::vector<std::string>& names,
                                       host::TextEncoding encoding, host::TextCodec* codec,
                                       std::vector<std::string>* problems);

// True when `name` ends in ".txt" (any letter case) after at least one byte,
// as the module tells the text files of a directory.
bool HasTextSuffix(const std::string& name);

}  // namespace vocs::cli

#endif  // VOCS_CLI_INPUT_FILES_H_
