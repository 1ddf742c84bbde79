// RecordSpillFile: the tagged-record files in which a table writer collects
// its records until the host bulk-loads them.
//
// File format (read by the host's "bulkload table" statement): records one
// after another, each the line "<REC>" followed by one line per field, the
// field's tag, "=" and the field's text. Text is code page 936, nothing is
// escaped, and every line ends in CR LF on every platform. A mode-1 frequency
// record for the term abc with frequency 5:
//
//   <REC>\r\n
//   <词条名称>=abc\r\n
//   <词频>=5\r\n
//
// Files are named "rec_" + a unique part + ".tmp" and live in one directory
// (the output directory of the table). The current file is written until its
// size reaches the limit (100 MiB); it is then closed, becomes a completed
// file, and the next file is created. Completed files are kept in creation
// order; the owner loads and deletes them.
//
// A failure is sticky: once a write, a close or the creation of the next file
// has failed, failed() stays true and Append refuses everything, so the owner
// can report the loss instead of dropping records. Files are never deleted
// here; what was written stays on disk.
//
// All file access goes through CurrentEnv(). Used by one thread at a time.
#ifndef VOCS_OUTPUT_RECORD_SPILL_FILE_H_
#define VOCS_OUTPUT_RECORD_SPILL_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace vocs {

// Size at which a spill file is closed and the next one begun.
inline constexpr uint64_t kRecordSpillSizeLimit = 104857600;

class RecordSpillFile {
 public:
  RecordSpillFile() = default;
  ~RecordSpillFile();  // closes the current file, ignoring errors; deletes nothing
  RecordSpillFile(const RecordSpillFile&) = delete;
  RecordSpillFile& operator=(const RecordSpillFile&) = delete;

  // Sets the directory of the files, appending the separator when missing.
  // False for an empty directory.
  bool SetDirectory(std::string_view directory);
  // Creates a new empty file in the directory and makes it the current one.
  // False (and failed()) when no name can be obtained or the file does not
  // open; an unusable file that was created is deleted again.
  bool CreateNext();

  // Appends text to the current file, then rolls over when the file has
  // reached the size limit. False when the text could not be written (no
  // current file, a write failed, or an earlier failure). A failure to create
  // the next file after a successful write still returns true, because the
  // text is safe in the completed file; failed() then tells, and the next
  // Append returns false.
  bool Append(std::string_view text);

  // Closes the current file, if any, and appends it to the completed files.
  // False when the close reported a failed write (failed() then too).
  bool CloseCurrent();

  // Forgets a completed file (after it was loaded and deleted).
  void RemoveCompleted(const std::string& name);

  bool failed() const { return failed_; }
  bool has_current() const { return current_ != nullptr; }
  const std::string& directory() const { return directory_; }
  const std::string& current_name() const { return current_name_; }
  const std::vector<std::string>& completed() const { return completed_; }

  // Lowers the rollover size. Tests only.
  void SetSizeLimitForTesting(uint64_t limit) { size_limit_ = limit; }

 private:
  std::unique_ptr<WritableFile> current_;
  std::vector<std::string> completed_;
  std::string directory_;
  std::string current_name_;
  uint64_t size_limit_ = kRecordSpillSizeLimit;
  bool failed_ = false;
};

}  // namespace vocs

#endif  // VOCS_OUTPUT_RECORD_SPILL_FILE_H_
