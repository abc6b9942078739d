#include "net/file_download_win.h"

#include <atomic>
#include <memory>
#include <string>

#include "base/handles_win.h"
#include "base/system_api_win.h"

namespace ksnet {
namespace {

enum State { kRunning, kReturned, kAbandoned };

// Shared by the caller and the download thread; whichever of them leaves
// last frees it.
struct Download {
  std::string url;
  std::string file;
  std::atomic<int> state{kRunning};
};

DWORD WINAPI DownloadThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<Download>> holder(static_cast<std::shared_ptr<Download>*>(parameter));
  std::shared_ptr<Download> download = *holder;
  ks::sys::URLDownloadToFileA(nullptr, download->url.c_str(), download->file.c_str(), 0, nullptr);
  if (download->state.exchange(kReturned) == kAbandoned) DeleteFileA(download->file.c_str());
  return 0;
}

}  // namespace

bool DownloadToFileWithin(const char* url, const char* file, DWORD limit_ms) {
  std::shared_ptr<Download> download = std::make_shared<Download>();
  download->url = url;
  download->file = file;
  std::unique_ptr<std::shared_ptr<Download>> parameter(new std::shared_ptr<Download>(download));
  ks::UniqueHandle thread(CreateThread(nullptr, 0, &DownloadThread, parameter.get(), 0, nullptr));
  if (!thread) {
    // Without a thread of its own the download is waited for, as it always was.
    ks::sys::URLDownloadToFileA(nullptr, url, file, 0, nullptr);
    return true;
  }
  parameter.release();  // the thread's now
  if (WaitForSingleObject(thread.get(), limit_ms) == WAIT_OBJECT_0) return true;
  // It may have returned just now: then its file is whole and is kept.
  return download->state.exchange(kAbandoned) == kReturned;
}

}  // namespace ksnet
