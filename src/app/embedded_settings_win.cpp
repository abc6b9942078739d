#include "app/embedded_settings_win.h"

#include "app/embedded_block.h"
#include "app/own_path_win.h"
#include "base/log_api.h"
#include "base/mapped_file_win.h"
#include "base/wide_text.h"
#include "setup/setup_handler_win.h"

namespace {
const char kOperation[] = "BootwickApp::InitInstance()";
// Far beyond any starter; the mapping costs address space, not memory.
const size_t kMaxProgramSize = 512u << 20;
static_assert(SetupHandler::kSettingsTextSize == kEmbeddedSettingsSize, "kstool --show searches as start-up does");
}  // namespace

bool FindEmbeddedSettings(char* settings) {
  settings[0] = '\0';
  // Room for the UTF-8 form of any path the system gives (at most three bytes
  // per wide character), so every program file that can run can be read.
  char path[3 * 512];
  GetOwnPath(path, sizeof path);
  KS_LOG(0, kOperation, "sCurrentFilePath = %s", path);

  // Mapped, not read: the search runs from the end, where a stamped copy
  // keeps its block, so the launch road touches only the file's last pages.
  ks::MappedFile program;
  if (!program.Open(Widen(path).c_str(), kMaxProgramSize)) {
    KS_LOG(0, kOperation, "Failed to open this exe file");
    return false;
  }
  switch (ExtractEmbeddedSettings(program.data(), program.size(), settings, SetupHandler::kSettingsTextSize)) {
    case EmbeddedBlockResult::kNoMarker:
      KS_LOG(0, kOperation, "Failed to find parameters");
      return false;
    case EmbeddedBlockResult::kTooLarge:
      KS_LOG(0, kOperation, "Settings block refused: it decodes to %d bytes or more",
             SetupHandler::kSettingsTextSize);
      break;
    case EmbeddedBlockResult::kFound:
      break;
  }
  if (!IsValidEmbeddedSettings(settings)) {
    settings[0] = '\0';
    KS_LOG(0, kOperation, "Invalid setting");
    return false;
  }
  KS_LOG(0, kOperation, "Valid sSetting");
  return true;
}
