#include <cstdio>

#include "app/pe_stamp.h"
#include "command.h"
#include "support_files.h"

namespace {

int RunStamp(const std::vector<std::string>& args) {
  if (args.size() != 3) return kstool::Fail("stamp needs <starter.exe> <settings-file> <out.exe> (try --help)");
  std::string error;
  std::string image;
  std::string settings;
  if (!kstool::ReadInput(args[0], image, error)) return kstool::Fail("%s", error.c_str());
  if (!kstool::ReadSettingsFile(args[1], true, settings, error)) return kstool::Fail("%s", error.c_str());

  std::string stamped;
  if (!StampImage(image, settings, stamped, error))
    return kstool::Fail("cannot stamp '%s': %s", args[0].c_str(), error.c_str());
  if (!kstool::WriteOutput(args[2], stamped, error)) return kstool::Fail("%s", error.c_str());

  PeLayout layout;
  ParsePeLayout(image, layout, error);
  printf("stamped %s (%d bytes of settings, %s)\n", args[2].c_str(), static_cast<int>(settings.size()),
         layout.certificate_table_size != 0 ? "inside the signature's certificate table" : "appended");
  return 0;
}

}  // namespace

KSTOOL_COMMAND("stamp", "stamp <starter.exe> <settings-file> <out.exe>",
               "Writes a copy of the starter with the settings text stamped into it. A signed\n"
               "starter keeps a valid signature (the block goes into its certificate table);\n"
               "an unsigned one gets the block at its end. Stamping a stamped copy adds a\n"
               "newer block, which is the one the starter reads.",
               RunStamp);
