// kstool: the conference operator's tool for making what the starter reads
// (stamped copies, meeting links, parameter files, packages) and for serving
// it in tests and demos.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/wide_text.h"
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

}  // namespace kstool

static int PrintOverview() {
  printf("usage: kstool <command> [arguments]\n\ncommands:\n");
  for (const kstool::Command& command : kstool::Commands()) printf("  %s\n", command.usage);
  printf("\n'kstool <command> --help' describes one command.\n");
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  if (args.empty() || args[0] == "--help" || args[0] == "-h") return args.empty() ? (PrintOverview(), 2) : PrintOverview();

  for (const kstool::Command& command : kstool::Commands()) {
    if (args[0] != command.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (kstool::WantsHelp(rest)) return kstool::PrintUsage(command);
    return command.run(rest);
  }
  return kstool::Fail("unknown command '%s' (try 'kstool --help')", args[0].c_str());
}
