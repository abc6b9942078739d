#include "setup/setup_handler_win.h"

#include <cstdarg>
#include <cstdio>

#include "setup/setup_downloader_win.h"

SetupHandler::SetupHandler()
    : m_iAccountServerPort(kDefaultAccountServerPort),
      m_pSetupDownloader(new SetupDownloader()),
      m_pSetupInterface(nullptr),
      m_bCalledByClientToSyncVersion(false),
      m_bIsVersionSynced(false),
      m_bSystemUser(false),
      m_bClientFilesAvailable(false),
      m_bStartedWithParameter(false) {
  m_sAccountServerName[0] = '\0';
  ks::CopyText(m_sClientName, sizeof m_sClientName, "Kestrelon");
  m_sVersion[0] = m_sSetting[0] = m_sCurrentDirectory[0] = m_sCurrentFile[0] = '\0';
  m_sClientDirectory[0] = m_sDownloadFile[0] = m_sTempDirectory[0] = m_sSetupDirectory[0] = '\0';
  m_sUserApplicationDirectory[0] = m_sStartMenuDirectory[0] = m_sDesktopDirectory[0] = '\0';
  m_sCommandLine[0] = '\0';
  m_sStarterSid[0] = '\0';
}

SetupHandler::~SetupHandler() { delete m_pSetupDownloader; }

void SetupHandler::NotifyText(int code, const char* format, ...) {
  if (m_pSetupInterface == nullptr) return;
  char* text = AllocNotificationText();
  if (text == nullptr) return;
  // A display text may be cut at the buffer's end; the notification itself
  // (which may close the window) must always go out.
  va_list args;
  va_start(args, format);
  vsnprintf(text, kNotificationTextSize, format, args);
  va_end(args);
  m_pSetupInterface->Notify(code, reinterpret_cast<uintptr_t>(text), 0);
}

void SetupHandler::NotifyNoText(int code) {
  if (m_pSetupInterface != nullptr) m_pSetupInterface->Notify(code, 0, 0);
}

void SetupHandler::NotifyIncomplete() {
  if (m_pSetupInterface == nullptr) return;
  char* text = AllocNotificationText();
  if (text == nullptr) return;
  ks::CopyText(text, kNotificationTextSize, kIncompleteText);
  m_pSetupInterface->Notify(NOTIFY_SHOW_FINAL_MESSAGE, reinterpret_cast<uintptr_t>(text), FINAL_MESSAGE_FAILURE);
}
