#include <windows.h>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/run_failure.h"
#include "setup/setup_handler_win.h"

bool SetupHandler::Run() {
  // A run that ends short lets the next starter into the setup folder.
  struct ReleaseAtEnd {
    SetupFolderLock& lock;
    ~ReleaseAtEnd() { lock.Release(); }
  } release_at_end{m_oSetupFolderLock};

  if (!InitializeSetup()) {
    KS_LOG(0, "SetupHandler::Run", "InitializeSetup() failed");
    ks::RecordRunFailure(ks::FailureCause::kLinkUnreadable);
    NotifyNoText(NOTIFY_INIT_FAILED);
    return false;
  }
  // Only the members it sets matter, not its result.
  if (!m_bCalledByClientToSyncVersion) CheckIsVersionIsSynced();

  // A current client whose launch is refused is installed afresh.
  if (m_bIsVersionSynced && LaunchClient()) return true;

  // Download tells the window itself why it failed, also when the package
  // came whole but could not be set up: nothing is then started.
  if (!Download()) return false;

  CallToInstall();
  return true;
}

bool SetupHandler::StartFlow() {
  SetRaisePriority(false);
  if (Start() != nullptr) return true;
  int code = static_cast<int>(GetLastError());
  KS_LOG(0, "SetupHandler::StartFlow", "Failed to start the setup thread, error code: %d, error: %s", code,
         GetErrorText(code));
  ks::RecordRunFailure(ks::FailureCause::kInterrupted);
  // Nothing else would ever reach the window.
  NotifyNoText(NOTIFY_INIT_FAILED);
  return false;
}
