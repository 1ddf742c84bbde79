// What the commands that drive the module (vocs run, vocs merge) share
// around it: the embedded host on the command's database, the hidden name a
// result file is written under until it is complete, and giving it its name.
//
// Plain functions; the command's thread.
#ifndef VOCS_CLI_COMMAND_HOST_H_
#define VOCS_CLI_COMMAND_HOST_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_common.h"
#include "host/embedded_host.h"

namespace vocs::cli {

// Matches args[*i] as --db FILE or --work-dir DIR, the options of every
// command that drives the module, storing the value (the directory made
// absolute; *db_given set when not null) and advancing *i past it. kExitOk
// when matched; kExitUsage after printing the usage error of `command` when
// the value is missing; nothing when args[*i] is another argument.
std::optional<int> MatchPlaceOption(const Args& args, size_t* i, const std::string& command,
                                    std::string* db, std::string* work_dir,
                                    bool* db_given = nullptr);

// Opens the embedded host of the command `command` ("run", "merge") on
// `db_path`: an existing database when `existing` (a missing one is named
// with a hint at 'vocs import'), else the file is made when missing
// (":memory:" for a command that writes no table). Null after printing why,
// with *exit_code set to kExitSetup.
std::unique_ptr<host::EmbeddedHost> OpenCommandHost(const std::string& db_path, bool existing,
                                                    const std::string& command, int* exit_code);

// Where the result file `path` (absolute) is written until it is complete:
// "<its directory>/.<its name>.vocs-<process id>.tmp".
std::string HiddenResultPath(const std::string& path);

// Gives the complete result file `hidden` its name `path` and counts its
// rows; -1 with *error set when it cannot be moved or read.
int64_t PlaceResultFile(const std::string& hidden, const std::string& path, std::string* error);

}  // namespace vocs::cli

#endif  // VOCS_CLI_COMMAND_HOST_H_
