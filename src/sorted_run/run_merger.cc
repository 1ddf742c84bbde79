#include "sorted_run/run_merger.h"

#include "platform/env.h"
#include "platform/mbcs.h"
#include "platform/path_style.h"

namespace vocs {

namespace {

// Numbers the intermediate files of every merge in the process.
std::atomic<int32_t> merge_file_counter{0};

}  // namespace

bool ReserveMergeFileName(const std::string& directory, std::atomic<int32_t>* counter,
                          std::string* path) {
  Env* env = CurrentEnv();
  constexpr int kAttempts = 10000;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string candidate = directory + std::to_string(counter->fetch_add(1)) + ".tx2";
    if (env->CreateNewFile(candidate)) {
      *path = std::move(candidate);
      return true;
    }
    bool is_directory = false;
    if (!env->GetAttributes(candidate, &is_directory)) return false;  // not taken: a failure
  }
  return false;
}

bool ReserveNextMergeFileName(const std::string& directory, std::string* path) {
  return ReserveMergeFileName(directory, &merge_file_counter, path);
}

int32_t PeekMergeFileNumberForTesting() { return merge_file_counter.load(); }

MergeSchedule::MergeSchedule(std::string destination, std::vector<std::string> runs,
                             bool single_run_is_copied)
    : destination_(std::move(destination)),
      single_run_is_copied_(single_run_is_copied),
      pending_runs_(std::move(runs)) {
  const size_t sep = FindLastMbcs(destination_, kPathSeparator);
  if (sep != std::string::npos) directory_ = destination_.substr(0, sep + 1);
}

bool MergeSchedule::Run(const Pass& pass) {
  if (pending_runs_.empty()) return false;
  for (;;) {
    // Newest runs first, topped up with the newest intermediates.
    std::vector<std::string> inputs;
    while (inputs.size() < kMergeFanIn && !pending_runs_.empty()) {
      inputs.push_back(std::move(pending_runs_.back()));
      pending_runs_.pop_back();
    }
    while (inputs.size() < kMergeFanIn && !pending_intermediates_.empty()) {
      inputs.push_back(std::move(pending_intermediates_.back()));
      pending_intermediates_.pop_back();
    }
    // A lone intermediate is the output of the last pass, in the
    // destination's form.
    if (inputs.size() == 1 && (single_run_is_copied_ || !intermediates_.empty())) {
      return FillDestination(inputs.front());
    }
    const bool last = pending_runs_.empty() && pending_intermediates_.empty();
    std::string output;
    if (!RunPass(pass, inputs, last, &output)) return false;
    pending_intermediates_.push_back(std::move(output));
  }
}

bool MergeSchedule::RunPass(const Pass& pass, const std::vector<std::string>& inputs,
                            bool last, std::string* output) {
  Env* env = CurrentEnv();
  std::vector<std::unique_ptr<SequentialFile>> opened;
  for (const std::string& input : inputs) {
    std::unique_ptr<SequentialFile> file = env->NewSequentialFile(input);
    // An input that cannot be read would silently lose its counts.
    if (!file) return false;
    opened.push_back(std::move(file));
  }
  if (!ReserveMergeFileName(directory_, &merge_file_counter, output)) return false;
  std::unique_ptr<WritableFile> file = env->NewWritableFile(*output);
  if (!file) {
    env->RemoveFile(*output);  // the empty file that reserved the name
    return false;
  }
  intermediates_.push_back(*output);  // deleted at the end, or kept after a failure
  return pass(&opened, std::move(file), last);
}

bool MergeSchedule::FillDestination(const std::string& final_file) {
  Env* env = CurrentEnv();
  // An intermediate final file lies beside the destination, so a rename
  // replaces the destination as a copy would, without writing the whole
  // file again; the copy remains for a file that cannot be renamed.
  const bool moved = !intermediates_.empty() && final_file == intermediates_.back() &&
                     env->RenameFile(final_file, destination_);
  const bool filled = moved || env->CopyFileTo(final_file, destination_);
  for (const std::string& path : intermediates_) {
    if (!(moved && path == final_file)) env->RemoveFile(path);
  }
  return filled;
}

}  // namespace vocs
