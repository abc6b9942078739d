#include <cstdio>

#include "app/pe_stamp.h"
#include "app/stamp_place.h"
#include "command.h"
#include "pe/pe_layout.h"
#include "support_files.h"
#include "support_stamp.h"

namespace {

using kstool::kStandardStream;

std::string Shown(const std::string& path) { return path == kStandardStream ? "standard input" : path; }

// Exit 0 when the copy carries settings the starter uses, 1 when it does not.
int ShowStamp(const std::string& path) {
  std::string error;
  std::string image;
  if (!kstool::ReadInput(path, image, error)) return kstool::Fail("%s", error.c_str());
  StampReport report;
  if (!DescribeStamp(image, report, error)) return kstool::Fail("cannot read '%s': %s", Shown(path).c_str(), error.c_str());
  if (report.place == StampPlace::kNone) {
    printf("block: none (the starter finds only its own marker and logs \"Invalid setting\")\n");
    return 1;
  }
  printf("block: %s, at byte %zu of %zu\n", StampPlaceName(report.place), report.offset, image.size());
  if (report.result == EmbeddedBlockResult::kTooLarge) {
    printf("the starter refuses it: its text decodes to %zu bytes or more\n", kEmbeddedSettingsSize);
    return 1;
  }
  printf("settings:\n%s%s", report.settings.c_str(),
         report.settings.empty() || report.settings.back() != '\n' ? "\n" : "");
  if (!IsValidEmbeddedSettings(report.settings.c_str())) {
    printf("the starter refuses it: the text has no <__Role__> field\n");
    return 1;
  }
  return 0;
}

int RunStamp(const std::vector<std::string>& args) {
  bool certificate = false;
  bool after_signature = false;
  bool show = false;
  std::vector<std::string> paths;
  for (const std::string& arg : args) {
    if (arg == "--certificate") {
      certificate = true;
    } else if (arg == "--after-signature") {
      after_signature = true;
    } else if (arg == "--show") {
      show = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return kstool::Fail("stamp has no option '%s' (try --help)", arg.c_str());
    } else {
      paths.push_back(arg);
    }
  }
  if (show) {
    if (certificate || after_signature || paths.size() != 1)
      return kstool::Fail("stamp --show needs one <starter.exe> (try --help)");
    return ShowStamp(paths[0]);
  }
  if (certificate && after_signature) return kstool::Fail("stamp takes --certificate or --after-signature, not both");
  if (paths.size() != 3) return kstool::Fail("stamp needs <starter.exe> <settings-file> <out.exe> (try --help)");
  if (paths[0] == kStandardStream && paths[1] == kStandardStream)
    return kstool::Fail("the starter and the settings cannot both come from standard input");

  std::string error;
  kstool::InputContent input;
  std::string settings;
  if (!input.Read(paths[0], error)) return kstool::Fail("%s", error.c_str());
  std::string_view image = input.bytes();
  if (!kstool::ReadSettingsFile(paths[1], true, settings, error)) return kstool::Fail("%s", error.c_str());

  PeLayout layout;
  if (!ParsePeLayout(image, layout, error))
    return kstool::Fail("cannot stamp '%s': %s", Shown(paths[0]).c_str(), error.c_str());
  if (certificate && layout.certificate_table_size == 0)
    return kstool::Fail("cannot stamp '%s' with --certificate: it is not signed (without --certificate the settings are appended)",
                        Shown(paths[0]).c_str());
  // A signed starter gets the settings in an added certificate unless asked
  // otherwise: a copy stamped after its signature fails the strict signature
  // check, and the starter then refuses every package.
  if (layout.certificate_table_size != 0 && !after_signature) certificate = true;
  StampEdit edit;
  bool done = certificate ? PlanStampInCertificate(image, settings, edit, error)
                          : PlanStamp(image, settings, edit, error);
  if (!done) return kstool::Fail("cannot stamp '%s': %s", Shown(paths[0]).c_str(), error.c_str());
  if (!kstool::WriteStampedCopy(input, edit, paths[2], error)) return kstool::Fail("%s", error.c_str());

  if (paths[2] != kStandardStream) {
    const char* place = certificate                            ? "in a certificate added to the signature"
                        : layout.certificate_table_size != 0 ? "inside the signature's certificate table"
                                                               : "appended";
    printf("stamped %s (%d bytes of settings, %s)\n", paths[2].c_str(), static_cast<int>(settings.size()), place);
  }
  return 0;
}

}  // namespace

KSTOOL_COMMAND("stamp",
               "stamp [--certificate | --after-signature] <starter.exe> <settings-file> <out.exe> | stamp --show "
               "<starter.exe>",
               "Writes a copy of the starter with the settings text stamped into it. A signed\n"
               "starter keeps a valid signature: the block goes into a certificate added to the\n"
               "signature, so nothing trails the signature and machines with the strict\n"
               "signature check (EnableCertPaddingCheck) accept the copy too; restamping\n"
               "replaces the added certificate. An unsigned starter gets the block at its end.\n"
               "\n"
               "  --certificate      the added certificate, and refuse an unsigned starter.\n"
               "  --after-signature  a signed starter gets the block in its certificate table,\n"
               "                     after the signature, as stamping did before; machines with\n"
               "                     the strict check refuse such a copy. Stamping it again adds\n"
               "                     a newer block, which is the one the starter reads.\n"
               "  --show             print the settings text a copy reads (the starter's own\n"
               "                     search) and where its block lies: appended, certificate\n"
               "                     table or added certificate. Exits 1 when the starter would\n"
               "                     find no usable text.\n"
               "\n"
               "'-' reads the starter or the settings from standard input, or writes the copy\n"
               "to standard output. A file is written only whole: on failure none is left.",
               RunStamp);
