#include <cstdio>

#include "command.h"

namespace {
int RunVersion(const std::vector<std::string>& /*args*/) {
  printf("kstool for Kestrelon starter V5.0 SP1\n");
  return 0;
}
}  // namespace

KSTOOL_COMMAND("version", "version", "Prints the tool's version.", RunVersion);
