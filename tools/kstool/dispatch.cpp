// kstool: the conference operator's tool for making what the starter reads
// (stamped copies, meeting links, parameter files, packages) and for serving
// it in tests and demos. The same commands, messages and exit codes on
// Windows (kstool.exe) and natively; main_win.cpp and main_posix.cpp only
// hand over the arguments.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "command.h"

namespace kstool {

static std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

bool RegisterCommand(const Command& command) {
  Registry().push_back(command);
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("kstool: ", stderr);
  vfprintf(stderr, format, args);
  fputs("\n", stderr);
  va_end(args);
  return 2;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--help" || arg == "-h") return true;
  return false;
}

int PrintUsage(const Command& command) {
  printf("usage: kstool %s\n\n%s\n", command.usage, command.summary);
  return 0;
}

static int PrintOverview(const char* note) {
  printf("usage: kstool <command> [arguments]\n\ncommands:\n");
  // Registration follows the link order, which differs between builds.
  std::vector<Command> sorted = Commands();
  std::sort(sorted.begin(), sorted.end(),
            [](const Command& a, const Command& b) { return strcmp(a.name, b.name) < 0; });
  for (const Command& command : sorted) printf("  %s\n", command.usage);
  if (note != nullptr) printf("\n%s\n", note);
  printf("\n'kstool <command> --help' describes one command.\n");
  return 0;
}

int Main(const std::vector<std::string>& args, const char* note) {
  if (args.empty()) {
    PrintOverview(note);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") return PrintOverview(note);

  for (const Command& command : Commands()) {
    if (args[0] != command.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (WantsHelp(rest)) return PrintUsage(command);
    return command.run(rest);
  }
  return Fail("unknown command '%s' (try 'kstool --help')", args[0].c_str());
}

}  // namespace kstool
