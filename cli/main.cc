// vocs: the command-line server of the vocs module.
#include <iostream>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  using namespace vocs::cli;
  const Args args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << MainHelp();
    return args.empty() ? kExitUsage : kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "vocs " << Version() << "\n";
    return kExitOk;
  }
  const Args rest(args.begin() + 1, args.end());
  if (args[0] == "run") return RunCommand(rest);
  if (args[0] == "import") return ImportCommand(rest);
  if (args[0] == "show") return ShowCommand(rest);
  if (args[0] == "report") return ReportCommand(rest);
  if (args[0] == "merge") return MergeCommand(rest);
  std::cerr << "vocs: unknown command " << args[0] << "\nTry 'vocs --help'.\n";
  return kExitUsage;
}
