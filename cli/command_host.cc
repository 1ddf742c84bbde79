#include "cli/command_host.h"

#include <unistd.h>

#include <filesystem>


namespace vocs::cli {

namespace fs = std::filesystem;

std::optional<int> MatchPlaceOption(const Args& args, size_t* i, const std::string& command,
                                    std::string* db, std::string* work_dir, bool* db_given) {
  std::string value;
  if (const int m = MatchOption(args, i, "--db", &value); m != 0) {
    if (m < 0) return UsageError(command, "--db needs a file");
    *db = value;
    if (db_given != nullptr) *db_given = true;
    return kExitOk;
  }
  if (const int m = MatchOption(args, i, "--work-dir", &value); m != 0) {
    if (m < 0 || value.empty()) return UsageError(command, "--work-dir needs a directory");
    *work_dir = AbsolutePath(value);
    return kExitOk;
  }
  return std::nullopt;
}

std::unique_ptr<host::EmbeddedHost> OpenCommandHost(const std::string& db_path, bool existing,
                                                    const std::string& command, int* exit_code) {
  std::string error;
  std::unique_ptr<host::EmbeddedHost> host = host::EmbeddedHost::Open(
      db_path, &error,
      existing ? host::Database::OpenMode::kExisting : host::Database::OpenMode::kCreate);
  if (host == nullptr) {
    *exit_code = fs::exists(db_path)
                     ? Fail(kExitSetup, error)
                     : Fail(kExitSetup, "there is no database " + AbsolutePath(db_path) +
                                            " ('vocs import' creates one; --db names another)");
    return nullptr;
  }
  host->set_owner("vocs " + command + ", process " + std::to_string(::getpid()));
  return host;
}

std::string HiddenResultPath(const std::string& path) {
  const fs::path final_path(path);
  return (final_path.parent_path() /
          ("." + final_path.filename().string() + ".vocs-" + std::to_string(::getpid()) + ".tmp"))
      .string();
}

int64_t PlaceResultFile(const std::string& hidden, const std::string& path, std::string* error) {
  std::error_code ec;
  fs::rename(hidden, path, ec);
  const int64_t rows = ec ? -1 : CountFileRows(path);
  if (rows < 0) {
    *error = "the result file " + path + " could not be written" + (ec ? ": " + ec.message() : "");
  }
  return rows;
}

}  // namespace vocs::cli
