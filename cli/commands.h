// The subcommands of vocs. Each takes the arguments after its name and
// returns an exit code of cli_common.h; each prints its help for --help.
#ifndef VOCS_CLI_COMMANDS_H_
#define VOCS_CLI_COMMANDS_H_

#include "cli/cli_common.h"

namespace vocs::cli {

int RunCommand(const Args& args);
int ImportCommand(const Args& args);
int ShowCommand(const Args& args);
int ReportCommand(const Args& args);
int MergeCommand(const Args& args);

// The overview printed by "vocs --help", and the version.
const char* MainHelp();
const char* Version();

}  // namespace vocs::cli

#endif  // VOCS_CLI_COMMANDS_H_
