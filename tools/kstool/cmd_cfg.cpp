#include <cstdio>

#include "app/parameter_cipher.h"
#include "command.h"
#include "support_files.h"

namespace {

int RunCfg(const std::vector<std::string>& args) {
  if (args.size() != 2) return kstool::Fail("cfg needs <settings-file> <starter.cfg> (try --help)");
  std::string error;
  std::string settings;
  if (!kstool::ReadSettingsFile(args[0], false, settings, error)) return kstool::Fail("%s", error.c_str());
  if (!kstool::WriteOutput(args[1], Utility::EncodeParameter(settings), error))
    return kstool::Fail("%s", error.c_str());
  printf("wrote %s\n", args[1].c_str());
  return 0;
}

}  // namespace

KSTOOL_COMMAND("cfg", "cfg <settings-file> <starter.cfg>",
               "Writes the enciphered parameter file that a starter reads from its current\n"
               "folder when it has no other parameters.",
               RunCfg);
