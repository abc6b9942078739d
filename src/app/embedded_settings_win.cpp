#include "app/embedded_settings_win.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "app/embedded_block.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"
#include "setup/setup_handler_win.h"

namespace {
const char kOperation[] = "BootwickApp::InitInstance()";

bool ReadOwnFile(const wchar_t* path, std::vector<unsigned char>& bytes) {
  ks::UniqueFile file(_wfopen(path, L"rb"));
  if (!file) return false;
  if (_fseeki64(file.get(), 0, SEEK_END) != 0) return false;
  long long size = _ftelli64(file.get());
  if (size < 0 || _fseeki64(file.get(), 0, SEEK_SET) != 0) return false;
  bytes.resize(static_cast<size_t>(size));
  size_t got = size > 0 ? fread(bytes.data(), 1, bytes.size(), file.get()) : 0;
  bytes.resize(got);
  return true;
}
}  // namespace

bool FindEmbeddedSettings(char* settings) {
  settings[0] = '\0';
  wchar_t wide_path[512];
  DWORD length = GetModuleFileNameW(nullptr, wide_path, 512);
  if (length == 0 || length >= 512) wide_path[0] = L'\0';
  char path[512];
  if (!UTF16ToUTF8(wide_path, path, sizeof path)) path[0] = '\0';
  KS_LOG(0, kOperation, "sCurrentFilePath = %s", path);

  std::vector<unsigned char> bytes;
  if (wide_path[0] == L'\0' || !ReadOwnFile(wide_path, bytes)) {
    KS_LOG(0, kOperation, "Failed to open this exe file");
    return false;
  }
  switch (ExtractEmbeddedSettings(bytes.data(), bytes.size(), settings, SetupHandler::kSettingsTextSize)) {
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
