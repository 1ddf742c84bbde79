// WorkDirectory: the temporary files of one task: its work directory, the
// spill files (sorted runs) it writes there, and the single result file they
// become.
//
// The work directory is made at the first spill: with no configured
// directory, "vocstemp" and the separator in the program directory, and in it
// a new directory whose name begins with the task's directory prefix ("FRE_",
// "TOG_"); a configured directory is created with its parents when missing
// and used directly. Spill files get the task's spill prefix ("fre_",
// "tog_"), the result file the prefix "ok_", each a unique name ending in
// ".tmp".
//
// Files exist from the first spill until RemoveTemporaryFiles, which the
// task calls only at the successful end of its delivery; after a failure the
// spill files, the result file and the directory stay on disk. The
// destructor removes nothing.
//
// One owner on one thread. Several work directories may share a configured
// directory: unique names keep their files apart, and the clean-up of one
// removes the directory only when it is empty (MakeSpillFileName copes with
// that). File access goes through CurrentEnv().
#ifndef VOCS_SORTED_RUN_WORK_DIRECTORY_H_
#define VOCS_SORTED_RUN_WORK_DIRECTORY_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "sorted_run/run_codec.h"
#include "sorted_run/run_writer.h"

namespace vocs {

class WorkDirectory {
 public:
  WorkDirectory(std::string_view directory_prefix, std::string_view spill_prefix);
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  // Stores the configured directory unchanged (when not null) and returns
  // the stored length.
  size_t SetTempDir(const char* directory);

  // Makes sure tempDir is a work directory ending in the separator (see
  // above). False when it cannot be made.
  bool PrepareWorkDirectory();
  // Prepares the work directory and creates a new empty spill file in it. A
  // configured directory shared with another run can be removed by that
  // run's clean-up between the two steps; they are then tried again, so that
  // such a run never fails this one.
  bool MakeSpillFileName(std::string* path);
  // Opens `writer` on a new spill file and records the file. False when the
  // directory, the name or the file cannot be made; a file that does not
  // open is not recorded.
  template <RunCodec Codec>
  bool OpenSpill(RunWriter<Codec>* writer) {
    std::string path;
    if (!MakeSpillFileName(&path) || !writer->Open(path)) return false;
    spillFiles_.push_back(std::move(path));
    return true;
  }
  // Opens a new spill file for a run written in a format of the engine's own
  // and records it; null when the directory, the name or the file cannot be
  // made (a file that does not open is not recorded).
  std::unique_ptr<WritableFile> OpenRawSpill();

  // Creates the "ok_" result file and fills it from the spill files: a move
  // of the only one (its path stays listed), or `merge`, which is to fill
  // resultPath from two or more. False when there is no spill file or any
  // step fails.
  bool FinishResultFile(const std::function<bool()>& merge);
  // Prepares the work directory and creates an empty "ok_" result file in it,
  // for a result that is filled from elsewhere (merged partial results).
  // False when either cannot be made.
  bool MakeResultFile();
  // Deletes the spill files and the result file and removes tempDir when it
  // is empty. Always true.
  bool RemoveTemporaryFiles();

  const std::string& tempDir() const { return tempDir_; }
  const std::string& resultPath() const { return resultPath_; }
  // The spill files in the order of creation.
  const std::vector<std::string>& spillFiles() const { return spillFiles_; }

  // Records a spill file made outside the task. Tests only.
  void AddSpillFileForTesting(std::string path) { spillFiles_.push_back(std::move(path)); }

 private:
  std::string directory_prefix_;
  std::string spill_prefix_;
  std::string tempDir_;
  std::string resultPath_;
  std::vector<std::string> spillFiles_;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_WORK_DIRECTORY_H_
