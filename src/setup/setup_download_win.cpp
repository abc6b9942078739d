#include <windows.h>

#include <cstring>
#include <string>

#include "base/clock_win.h"
#include "base/error_text.h"
#include "base/log_api.h"
#include "base/run_failure.h"
#include "net/account_server_api.h"
#include "net/hlib_win.h"
#include "net/request_trouble.h"
#include "setup/download_progress.h"
#include "setup/kept_part_file_win.h"
#include "setup/setup_downloader_win.h"
#include "setup/setup_handler_win.h"

namespace {

const char kOperation[] = "SetupHandler::Download";
const DWORD kWatchIntervalMs = 60;
const int kSizeReplyLimit = 2048;

// A package that could not be saved, unpacked or prepared for the installer
// ends the run as an incomplete download does: what the setup folder holds
// (perhaps a launcher of an earlier run) must not be started. The step's
// message box has said why.
bool ProcessOrTellWhyNot(SetupHandler& handler) {
  if (handler.ProcessDownloadedClient()) return true;
  handler.NotifyIncomplete();
  return false;
}

// One watch interval, cut short when the download thread ends: the package is
// whole the moment the fetch returns, and the next step need not wait for
// the rest of the interval.
void WaitOneInterval(const SetupDownloader& downloader) {
  HANDLE finished = downloader.GetFinishedEvent();
  if (finished == nullptr || WaitForSingleObject(finished, kWatchIntervalMs) == WAIT_FAILED) Sleep(kWatchIntervalMs);
}

}  // namespace

bool SetupHandler::Download() {
  KS_LOG(0, kOperation, "In Download: m_sClientDirectory = %s", m_sClientDirectory);
  if (m_bClientFilesAvailable) {
    KS_LOG(0, kOperation, "Download is not needed");
    return ProcessOrTellWhyNot(*this);
  }
  NotifyText(NOTIFY_SHOW_MESSAGE, "Connecting ...");

  char reply[kSizeReplyLimit + 1];
  memset(reply, 0, sizeof reply);
  int size = 0;
  {
    ksnet::TakeRequestTrouble();  // only this request's
    HLib size_fetcher;
    int port_used = 0;
    if (size_fetcher.GetPage(m_sAccountServerName, m_iAccountServerPort, AccountServer::ClientSizeRequest().c_str(),
                             kSizeReplyLimit, "", reply, &port_used))
      size = AccountServer::ParseClientSize(reply);
  }
  if (size <= 0) {
    KS_LOG(0, kOperation, "Failed to download client from: %s::%d, iDownloadSize = %d, sDownloadSize = %s",
           m_sAccountServerName, m_iAccountServerPort, size, reply);
    ks::RecordRunFailure(ksnet::SizeRequestCause(ksnet::TakeRequestTrouble(), reply[0] != '\0'));
    NotifyIncomplete();
    return false;
  }
  KS_LOG(0, kOperation, "iDownloadSize = %d", size);
  NotifyText(NOTIFY_SHOW_PROGRESS, "Downloading %s ...", m_sClientName);

  SetupDownloader* downloader = m_pSetupDownloader;
  ks::CopyText(downloader->m_sDownloadURL, sizeof downloader->m_sDownloadURL,
               AccountServer::ClientRequest().c_str());
  downloader->m_iExpectedSize = size;
  ks::CopyText(downloader->m_sAccountServerName, sizeof downloader->m_sAccountServerName, m_sAccountServerName);
  downloader->m_iAccountServerPort = m_iAccountServerPort;
  downloader->m_bFinished.store(false, std::memory_order_relaxed);
  downloader->SetRaisePriority(false);
  // A download an earlier run left cut goes on where it ended.
  KeptPartFile kept(m_sTempDirectory);
  std::string server = KeptServer(m_sAccountServerName, m_iAccountServerPort);
  int held = kept.Resume(server, downloader);
  if (downloader->Start() == nullptr) {
    // No thread would ever set the flag the watch below waits for.
    int code = static_cast<int>(GetLastError());
    KS_LOG(0, kOperation, "Failed to start the download thread, error code: %d, error: %s", code,
           GetErrorText(code));
    ks::RecordRunFailure(ks::FailureCause::kInterrupted);
    NotifyIncomplete();
    return false;
  }

  DownloadProgress progress(size, ks::MillisecondsNow(), held);
  WaitOneInterval(*downloader);
  while (!downloader->m_bFinished.load(std::memory_order_acquire)) {
    ProgressValues values = progress.Pass(SetupDownloader::CurrentlyReceived(), ks::MillisecondsNow());
    NotifyText(NOTIFY_PROGRESS_VALUES, "%d,%d,%d", values.percent, values.speed_kbps, values.seconds_remaining);
    WaitOneInterval(*downloader);
  }
  DownloadSummary summary = progress.Finish(ks::MillisecondsNow());

  int received = downloader->ReceivedBytes();
  // A fetch that failed is never a complete package, even when its count
  // happens to match (a reply refused for announcing another length).
  if (received == size && downloader->m_bSucceeded) {
    KS_LOG(0, kOperation, "Download is completed: iExpectedDownloadSize = %d, actual received = %d", size, received);
    NotifyText(NOTIFY_SHOW_FINAL_MESSAGE, "Setup %s ...\n\nSummary - average speed: %d kbps, total time: %d seconds",
               m_sClientName, summary.average_kbps, summary.total_seconds);
    bool processed = ProcessOrTellWhyNot(*this);
    // Whatever became of it, a package that came whole needs no part: one
    // that was refused is not spliced again, a full disk gets the room back.
    kept.Remove(processed ? "the package is unpacked" : "the package came whole");
    return processed;
  }
  // Kept before the run says it ended, so whoever waits for that finds it.
  kept.KeepForNextRun(server, *downloader);
  KS_LOG(0, kOperation, "Filed to complete download: iExpectedDownloadSize = %d, actual received = %d", size,
         received);
  ks::RecordRunFailure(ksnet::PackageDownloadCause(downloader->m_oRequestTrouble));
  NotifyIncomplete();
  return false;
}
