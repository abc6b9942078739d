#include "app/embedded_settings_win.h"

#include <string>

#include "app/embedded_block.h"
#include "app/own_path_win.h"
#include "base/file_data.h"
#include "base/log_api.h"
#include "setup/setup_handler_win.h"

namespace {
const char kOperation[] = "BootwickApp::InitInstance()";
static_assert(SetupHandler::kSettingsTextSize == kEmbeddedSettingsSize, "kstool --show searches as start-up does");
}  // namespace

bool FindEmbeddedSettings(char* settings) {
  settings[0] = '\0';
  // Room for the UTF-8 form of any path the system gives (at most three bytes
  // per wide character), so every program file that can run can be read.
  char path[3 * 512];
  GetOwnPath(path, sizeof path);
  KS_LOG(0, kOperation, "sCurrentFilePath = %s", path);

  std::string bytes;
  if (!Utility::ReadWholeFile(path, bytes)) {
    KS_LOG(0, kOperation, "Failed to open this exe file");
    return false;
  }
  switch (ExtractEmbeddedSettings(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), settings,
                                  SetupHandler::kSettingsTextSize)) {
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
