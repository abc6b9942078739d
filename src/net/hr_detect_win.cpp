// Asking a proxy script (the configured one, or one discovered on the
// network) which proxies lead to the server.
#include <cstring>
#include <mutex>
#include <string>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/system_library_win.h"
#include "base/text.h"
#include "net/detect_target.h"
#include "net/file_download_win.h"
#include "net/hlib_win.h"
#include "net/proxy_script_callbacks_win.h"
#include "net/receive_limit.h"
#include "net/url_parts.h"

namespace {

const char kOperation[] = "HR::Detect";

struct AutoProxyLibrary {
  HMODULE module = nullptr;
  pfnInternetInitializeAutoProxyDll initialize = nullptr;
  pfnInternetDeInitializeAutoProxyDll deinitialize = nullptr;
  pfnInternetGetProxyInfo get_proxy_info = nullptr;
};

// The library runs one script for the whole process: its initialise, get
// and de-initialise, and its loading, go under this, one request at a time
// (the installation report may ask beside the download). Never destroyed: a
// report may still ask while the process ends.
std::mutex& AutoProxyLock() {
  static std::mutex* lock = new std::mutex();
  return *lock;
}

// The system's library, never one of the same name elsewhere; it stays loaded
// once it has been found. Called under AutoProxyLock.
bool LoadAutoProxyLibrary(AutoProxyLibrary* library) {
  static HMODULE loaded = nullptr;
  if (loaded == nullptr) loaded = ks::LoadSystemLibrary(L"jsproxy.dll");
  if (loaded == nullptr) {
    KS_LOG(0, kOperation, "Failed to 111 LoadLibrary %d", static_cast<int>(GetLastError()));
    return false;
  }
  library->module = loaded;
  library->initialize = reinterpret_cast<pfnInternetInitializeAutoProxyDll>(
      reinterpret_cast<void*>(GetProcAddress(loaded, "InternetInitializeAutoProxyDll")));
  library->deinitialize = reinterpret_cast<pfnInternetDeInitializeAutoProxyDll>(
      reinterpret_cast<void*>(GetProcAddress(loaded, "InternetDeInitializeAutoProxyDll")));
  library->get_proxy_info = reinterpret_cast<pfnInternetGetProxyInfo>(
      reinterpret_cast<void*>(GetProcAddress(loaded, "InternetGetProxyInfo")));
  if (library->initialize == nullptr || library->deinitialize == nullptr || library->get_proxy_info == nullptr) {
    KS_LOG(0, kOperation, "Failed to 222 GetProcAddress %d", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

std::string ReadScript(const char* path) {
  std::string text;
  ks::UniqueFile file(fopen(path, "rb"));
  if (!file) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

void HR::Detect(const char* sURL, const char* sIP, int iPort, char* sWPADLocation, char* sProxyList) {
  if (sProxyList == nullptr) return;
  sProxyList[0] = '\0';
  if (sURL == nullptr || sIP == nullptr || sWPADLocation == nullptr) return;
  try {
    ksnet::DetectTarget target = ksnet::BuildDetectTarget(sIP, iPort, sURL);
    KS_LOG(0, kOperation, "host=%s; url=%s, WPADLocation = %s", target.host_text.c_str(),
           ksnet::LogFormOfURL(target.query_url.c_str()).c_str(), sWPADLocation);

    AutoProxyLibrary library;
    {
      std::lock_guard<std::mutex> hold(AutoProxyLock());
      if (!LoadAutoProxyLibrary(&library)) return;
    }

    if (sWPADLocation[0] == '\0' &&
        !ks::sys::DetectAutoProxyUrl(sWPADLocation, static_cast<DWORD>(kTextSize),
                                     PROXY_AUTO_DETECT_TYPE_DHCP | PROXY_AUTO_DETECT_TYPE_DNS_A)) {
      KS_LOG(0, kOperation, "Failed to Detect 333 %d", static_cast<int>(GetLastError()));
      sWPADLocation[0] = '\0';
      return;
    }
    sWPADLocation[kTextSize - 1] = '\0';

    char temp_directory[512];
    char script_file[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp_directory, temp_directory);
    if (length == 0 || length >= sizeof temp_directory ||
        GetTempFileNameA(temp_directory, "", 0, script_file) == 0) {
      KS_LOG(0, kOperation, "Failed to create a file for the script, error %d", static_cast<int>(GetLastError()));
      return;
    }
    if (!ksnet::DownloadToFileWithin(sWPADLocation, script_file, static_cast<DWORD>(ksnet::kReceiveLimitMs))) {
      KS_LOG(0, kOperation, "No script from WPADLocation = %s within %d ms", sWPADLocation, ksnet::kReceiveLimitMs);
      return;
    }
    std::string script = ReadScript(script_file);
    if (!script.empty()) KS_LOG(0, kOperation, "The script: %s", script.c_str());

    // Another request's de-initialise between this one's initialise and get
    // would leave it no script; its initialise, another script.
    std::unique_lock<std::mutex> one_script(AutoProxyLock());
    if (!library.initialize(0, script_file, nullptr, ProxyScriptCallbacks::Table(), nullptr)) {
      KS_LOG(0, kOperation, "Failed to 444 error %d return value %d for WPADLocation = %s",
             static_cast<int>(GetLastError()), 0, sWPADLocation);
      return;  // the script file stays for a look at what went wrong
    }
    std::string query_url = target.query_url;
    std::string host_text = target.host_text;
    char* answer = nullptr;
    DWORD answer_length = 0;
    std::string proxies;
    if (!library.get_proxy_info(query_url.c_str(), static_cast<DWORD>(query_url.size()), &host_text[0],
                                static_cast<DWORD>(host_text.size()), &answer, &answer_length)) {
      KS_LOG(0, kOperation, "Failed to 555 error %d, %s", static_cast<int>(GetLastError()),
             ksnet::LogFormOfURL(query_url.c_str()).c_str());
    } else if (answer != nullptr) {
      proxies.assign(answer, strnlen(answer, answer_length));
    }
    if (answer != nullptr) GlobalFree(answer);

    DeleteFileA(script_file);
    KS_LOG(0, kOperation, "666 %s", proxies.c_str());
    if (!library.deinitialize(nullptr, 0))
      KS_LOG(0, kOperation, "Failed to 777 error %d", static_cast<int>(GetLastError()));
    one_script.unlock();

    if (!ks::CopyText(sProxyList, kTextSize, proxies.c_str()))
      KS_LOG(0, kOperation, "proxy list longer than %d bytes, ignored", static_cast<int>(kTextSize - 1));
  } catch (...) {
    KS_LOG(0, kOperation, "error code=%d", static_cast<int>(GetLastError()));
    sProxyList[0] = '\0';
  }
}
