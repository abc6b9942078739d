#pragma once
// kstool subcommands register themselves here; each lives in its own
// cmd_<name>.cpp and receives its arguments in UTF-8 (after the command name).
#include <string>
#include <vector>

namespace kstool {

typedef int (*CommandFunction)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;    // one line: "stamp <starter.exe> <settings-file> <out.exe>"
  const char* summary;  // what it does, for --help
  CommandFunction run;
};

// Registration happens during static initialisation (see KSTOOL_COMMAND).
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "kstool: <message>" to stderr and returns the exit code 2.
int Fail(const char* format, ...);

// True when args ask for help ("--help" or "-h" anywhere).
bool WantsHelp(const std::vector<std::string>& args);
int PrintUsage(const Command& command);

// Runs the command named by args[0]; `note` (or null) ends the overview.
int Main(const std::vector<std::string>& args, const char* note);

}  // namespace kstool

#define KSTOOL_COMMAND(name, usage, summary, function)                                    \
  static const bool kstool_registered_##function =                                         \
      ::kstool::RegisterCommand(::kstool::Command{name, usage, summary, &function})
