#include <windows.h>

#include <cstring>
#include <string>

#include "app/parameter_cipher.h"
#include "base/file_data.h"
#include "base/log_api.h"
#include "base/tag_field.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "setup/setup_handler_win.h"
#include "system/user_directory_win.h"

namespace {

const char kDownloaderSwitch[] = "--called_by_downloader";
const char kClientSwitch[] = "--called_by_client_to_sync";
const char kCommandParameterFile[] = "rsp1024hcmd.txt";
const char kProductFolder[] = "Kestrelon";
// Every file read here holds one settings text (at most 4095 bytes, its
// enciphered Base64 form a third more) or three paths; a file far larger is
// none of these and is refused unread, whatever its size.
const size_t kMaxParameterFileSize = 64 * 1024;

bool Exists(const char* name) {
  wchar_t wide[512];
  return UTF8ToUTF16(name, wide, 512) && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

// Reads one service-cache field into a member; a missing field empties it.
void ReadDirectoryField(const char* text, const char* name, char* member) {
  Utility::GetTagValue(text, Utility::OpeningTag(name).c_str(), Utility::ClosingTag(name).c_str(), member,
                       SetupHandler::kTextSize);
}

// An empty settings text names no server and no meeting: the worker would run
// on default values and a caller's switch would not be honoured.
void RefuseEmptyParameterFile(const char* name) {
  KS_LOG(3, "SetupHandler::LoadSetupConfigure", "Refused %s: it holds no settings text", name);
}

// A raw read of a parameter file within the limit; one over it is refused
// unread, and logged.
Utility::FileReadResult ReadParameterFile(const char* operation, const char* path, std::string& text) {
  if (path[0] == '\0') return Utility::FileReadResult::kMissing;
  Utility::FileReadResult read = Utility::ReadWholeFileUpTo(path, kMaxParameterFileSize, text);
  if (read == Utility::FileReadResult::kTooLarge)
    KS_LOG(3, operation, "refused %s: larger than %d bytes", path, static_cast<int>(kMaxParameterFileSize));
  return read;
}

}  // namespace

bool SetupHandler::LoadSetupConfigure(char* settings) {
  const char kOperation[] = "SetupHandler::LoadSetupConfigure";
  settings[0] = '\0';

  std::string content;
  Utility::FileReadResult cfg = Utility::GetFileData("starter.cfg", kMaxParameterFileSize, content);
  if (cfg == Utility::FileReadResult::kRead) {
    if (Exists("PCClient") && Exists("PCClientAccessory")) {
      KS_LOG(0, kOperation, "both client files are available");
      m_bClientFilesAvailable = true;
    }
    // Deciphering only ever shortens the text; it stops at a zero byte like
    // every reader of the file would.
    content.push_back('\0');
    Utility::DecodeParameter(&content[0]);
    if (content.c_str()[0] != '\0' && ks::CopyText(settings, kSettingsTextSize, content.c_str())) {
      KS_LOG(0, kOperation, "Loaded %s successfully", "starter.cfg");
      return true;
    }
    settings[0] = '\0';
    m_bClientFilesAvailable = false;
  }
  if (cfg != Utility::FileReadResult::kMissing) {
    if (cfg == Utility::FileReadResult::kRead && content.c_str()[0] == '\0')
      RefuseEmptyParameterFile("starter.cfg");
    else
      KS_LOG(3, kOperation, "Refused %s: its settings text is longer than %d bytes", "starter.cfg",
             kSettingsTextSize - 1);
  }

  Utility::FileReadResult txt = Utility::GetFileData("starter.txt", kMaxParameterFileSize, content);
  if (txt == Utility::FileReadResult::kRead && !content.empty() && content.find('\0') == std::string::npos &&
      ks::CopyText(settings, kSettingsTextSize, content.c_str())) {
    m_bClientFilesAvailable = false;
    KS_LOG(0, kOperation, "Loaded %s successfully", "starter.txt");
    return true;
  }
  settings[0] = '\0';
  if (txt == Utility::FileReadResult::kRead && content.empty())
    RefuseEmptyParameterFile("starter.txt");
  else if (txt != Utility::FileReadResult::kMissing)
    KS_LOG(3, kOperation, "Refused %s: it is not a settings text of at most %d bytes", "starter.txt",
           kSettingsTextSize - 1);

  if (strstr(m_sCommandLine, kDownloaderSwitch) != nullptr || strstr(m_sCommandLine, kClientSwitch) != nullptr) {
    KS_LOG(0, kOperation, "Delay to load setting");
    return true;
  }
  return false;
}

bool SetupHandler::InitializeSetup() {
  const char kOperation[] = "SetupHandler::InitializeSetup";
  char documents[kTextSize];
  bool application_directory_accessible = false;
  Utility::GetUserDirectory(m_sClientName, m_sCurrentDirectory, m_sCurrentFile, m_sUserApplicationDirectory,
                            m_sTempDirectory, m_sStartMenuDirectory, m_sDesktopDirectory,
                            &application_directory_accessible, &m_bSystemUser, documents);

  char command_parameter_file[kTextSize];
  command_parameter_file[0] = '\0';
  bool from_downloader = false;
  if (strstr(m_sCommandLine, kDownloaderSwitch) != nullptr) {
    m_bCalledByClientToSyncVersion = true;
    from_downloader = true;
    // Utility::GetUserDirectory gives the temporary folder without its
    // trailing backslash.
    ks::FormatText(command_parameter_file, sizeof command_parameter_file, "%s\\%s", m_sTempDirectory,
                   kCommandParameterFile);
  } else if (strstr(m_sCommandLine, kClientSwitch) != nullptr) {
    m_bCalledByClientToSyncVersion = true;
    ks::FormatText(command_parameter_file, sizeof command_parameter_file, "%s\\%s\\%s", m_sCurrentDirectory,
                   kProductFolder, kCommandParameterFile);
    KS_LOG(0, kOperation, "sCommandParameterFile = %s", command_parameter_file);
  }

  if (m_bCalledByClientToSyncVersion) {
    std::string text;
    if (ReadParameterFile(kOperation, command_parameter_file, text) != Utility::FileReadResult::kRead) {
      KS_LOG(3, kOperation, "failed to load %s", command_parameter_file);
      return false;
    }
    // The file was written as a text stream (CR LF line ends) and its text is
    // written as one again for the installer: kept with CR LF, every round
    // through a sync would add another CR before each line end.
    ks::CrLfToLf(text);
    // A file that gives no settings text (empty, or a zero byte first) or one
    // the reader refuses (too large for the worker) must not leave the run
    // going on default values or the parameters of some earlier source.
    if (text.c_str()[0] == '\0' || !ParseSetting(text.c_str())) {
      KS_LOG(3, kOperation, "failed to load %s", command_parameter_file);
      return false;
    }
    if (from_downloader)
      KS_LOG(0, kOperation, "Read from sCommandParameterFile %s", command_parameter_file);
    else
      KS_LOG(0, kOperation, "Read from sCommandParameterFile = %s", command_parameter_file);

    m_sVersion[0] = '\0';
    char service_cache[kTextSize];
    ks::FormatText(service_cache, sizeof service_cache, "%s\\%s\\%s", m_sCurrentDirectory, kProductFolder,
                   "KSServiceCache.txt");
    KS_LOG(0, kOperation, "Refine directory by %s", service_cache);
    std::string cache;
    if (ReadParameterFile(kOperation, service_cache, cache) == Utility::FileReadResult::kRead) {
      ReadDirectoryField(cache.c_str(), "USER_APPLICATION_DIRECTORY", m_sUserApplicationDirectory);
      ReadDirectoryField(cache.c_str(), "DESKTOP_DIRECTORY", m_sDesktopDirectory);
      ReadDirectoryField(cache.c_str(), "START_MENUE_DIRECTORY", m_sStartMenuDirectory);
      KS_LOG(0, kOperation,
             "Refined directories:  m_sUserApplicationDirectory = %s; m_sDesktopDirectory = %s, "
             "m_sStartMenuDirectory = %s",
             m_sUserApplicationDirectory, m_sDesktopDirectory, m_sStartMenuDirectory);
    }
    if (!ks::FormatText(m_sClientDirectory, sizeof m_sClientDirectory, "%s\\%s", m_sCurrentDirectory,
                        kProductFolder))
      m_sClientDirectory[0] = '\0';
    m_bIsVersionSynced = false;
  }
  return true;
}
