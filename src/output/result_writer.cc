#include "output/result_writer.h"

#include "platform/paths.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"

namespace vocs {

bool ResultWriter::ensureDirectory() {
  size_t sep = FindLastMbcs(path_, kPathSeparator);
  if (sep == std::string::npos) return false;
  std::string directory = path_.substr(0, sep + 1);
  return DirectoryExists(directory) || MakeDirectoryTree(directory);
}

}  // namespace vocs
