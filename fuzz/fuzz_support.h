// What the fuzz targets share: a scratch directory of the process, a check
// that stops the program, and the cutting of one input into parts.
//
// A target runs one input at a time on one thread (libFuzzer's way and the
// standalone driver's).
#ifndef VOCS_FUZZ_FUZZ_SUPPORT_H_
#define VOCS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace vocs::fuzz {

// Stops the program with `what` on standard error when `condition` is false:
// a finding, as a crash would be.
void Check(bool condition, const char* what);

// A directory of this process below the system's temporary directory,
// emptied by each call and removed when the process ends. Ends without a
// separator. The first call confines the module to it (ConfineToScratch).
const std::string& FreshScratchDirectory();

// A directory of this process that keeps its files from input to input
// (a database opened once, say), removed when the process ends.
const std::string& ProcessDirectory();

// `data` cut at every `separator`, into at most `max_parts` parts (the last
// part keeps the rest, separators included).
std::vector<std::string_view> SplitInput(std::string_view data, std::string_view separator,
                                         size_t max_parts);

// Whether `code` is 0 or one of the codes vocs/errors.h documents.
bool IsDocumentedCode(int code);

// An Env that lets the module change files only below `root` (a path with
// no ".." in it), and puts the program directory there too ("root/bin/"),
// so that a name from the input can never write anywhere else on the
// machine. Reading is not confined. Installed for the process while it
// lives.
class ConfinedEnv final : public EnvWrapper {
 public:
  explicit ConfinedEnv(std::string root);
  ~ConfinedEnv() override;
  ConfinedEnv(const ConfinedEnv&) = delete;
  ConfinedEnv& operator=(const ConfinedEnv&) = delete;

  bool GetExecutablePath(std::string* path) override;
  int CreateDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool CopyFileTo(const std::string& from, const std::string& to) override;
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override;
  bool CreateNewFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;

 private:
  bool Inside(const std::string& path) const;

  std::string root_;
  std::unique_ptr<ScopedEnvForTesting> installed_;
};

// Confines the module's file changes to the directory that holds the scratch
// and process directories, from the first call on.
void ConfineToScratch();

// The input as text.
inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Writes a whole file (made with its parents); stops the program when it
// cannot, since a target cannot go on without it.
void WriteFileOrDie(const std::string& path, std::string_view contents);
// A whole file, or "" when it cannot be read.
std::string ReadFileOrEmpty(const std::string& path);

}  // namespace vocs::fuzz

#endif  // VOCS_FUZZ_FUZZ_SUPPORT_H_
