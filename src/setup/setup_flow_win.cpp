#include "base/log_api.h"
#include "setup/setup_handler_win.h"

bool SetupHandler::Run() {
  if (!InitializeSetup()) {
    KS_LOG(0, "SetupHandler::Run", "InitializeSetup() failed");
    NotifyNoText(NOTIFY_INIT_FAILED);
    return false;
  }
  // Only the members it sets matter, not its result.
  if (!m_bCalledByClientToSyncVersion) CheckIsVersionIsSynced();

  // A current client whose launch is refused is installed afresh.
  if (m_bIsVersionSynced && LaunchClient()) return true;

  // Download tells the window itself why it failed.
  if (!Download()) return false;

  CallToInstall();
  return true;
}
