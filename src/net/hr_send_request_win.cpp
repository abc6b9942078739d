// Working through the ways of reaching a server: the remembered setting, the
// connection's settings, the configured proxy script, automatic discovery.
#include <cstring>
#include <string>

#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/text.h"
#include "net/access_setting.h"
#include "net/cache_file_text.h"
#include "net/hlib_win.h"
#include "net/my_configure_win.h"
#include "net/name_resolution_win.h"
#include "net/url_parts.h"

namespace {

const char kOperation[] = "HR::SendRequest";

std::string RememberedSettings() {
  std::lock_guard<std::mutex> hold(HR::ServerAccessSettingLock());
  return HR::m_sServerAccessSetting;
}

class RequestLock {
 public:
  explicit RequestLock(CRITICAL_SECTION* section) : section_(section) { EnterCriticalSection(section_); }
  ~RequestLock() { LeaveCriticalSection(section_); }
  RequestLock(const RequestLock&) = delete;
  RequestLock& operator=(const RequestLock&) = delete;

 private:
  CRITICAL_SECTION* section_;
};

// The default connection's settings (the "HR::DP" query). The three texts
// belong to the system and go back with GlobalFree.
class ConnectionOptions {
 public:
  ConnectionOptions() {
    memset(options_, 0, sizeof options_);
    options_[0].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    options_[1].dwOption = INTERNET_PER_CONN_AUTODISCOVERY_FLAGS;
    options_[2].dwOption = INTERNET_PER_CONN_FLAGS;
    options_[3].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options_[4].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof list;
    list.pszConnection = nullptr;
    list.dwOptionCount = 5;
    list.pOptions = options_;
    DWORD size = sizeof list;
    if (!ks::sys::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
      KS_LOG(0, "HR::DP", "Failed to InternetQueryOption %d", static_cast<int>(GetLastError()));
      memset(options_, 0, sizeof options_);
    }
  }
  ~ConnectionOptions() {
    for (int i : {0, 3, 4})
      if (options_[i].Value.pszValue != nullptr) GlobalFree(options_[i].Value.pszValue);
  }
  ConnectionOptions(const ConnectionOptions&) = delete;
  ConnectionOptions& operator=(const ConnectionOptions&) = delete;

  const char* ScriptUrl() const { return Text(0); }
  DWORD Flags() const { return options_[2].Value.dwValue; }
  const char* Bypass() const { return Text(3); }
  const char* ProxyServer() const { return Text(4); }

 private:
  const char* Text(int i) const {
    const char* text = options_[i].Value.pszValue;
    return text != nullptr && text[0] != '\0' ? text : nullptr;
  }
  INTERNET_PER_CONN_OPTIONA options_[5];
};

}  // namespace

bool HR::TryRememberedSetting(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                              const char* sPostData) {
  std::string records = RememberedSettings();
  if (records.empty()) return false;
  char address[512] = "";
  if (!Utility::ResolveHostAddress(sIP, address, sizeof address)) address[0] = '\0';
  ksnet::AccessSetting setting;
  if (!ksnet::FindRememberedSetting(records, sIP, address, iPort, &setting)) return false;

  std::string log_url = ksnet::LogFormOfURL(sURL);
  if (DoRequest(sURL, sIP, iPort, bSecure, sVerb, setting.type, setting.bypass.c_str(), setting.proxy.c_str(),
                sPostData)) {
    KS_LOG(0, kOperation, "OK with aServerAccessSetting[i] = %s, URL = %s", setting.record.c_str(), log_url.c_str());
    return true;
  }
  // Forget the record exactly as it stands in the list, so the next run does
  // not try it first again.
  std::vector<std::string> fields = ksnet::SplitFields(setting.record, '\t');
  RemoveCache(fields[0].c_str(), iPort, fields[2] == "Y", setting.type, fields[4].c_str(), fields[5].c_str());
  KS_LOG(0, kOperation, "Failed with aServerAccessSetting[i] = %s, URL = %s", setting.record.c_str(), log_url.c_str());
  return false;
}

bool HR::SendRequest(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb,
                     const char* sPostData) {
  if (sURL == nullptr || sIP == nullptr || sVerb == nullptr) return false;
  RequestLock lock(&m_oRequestLock);
  try {
    KS_LOG(0, kOperation, "HR::SendRequest NEW session for sIP = %s on iPort = %d", sIP, iPort);
    char location[kTextSize] = "";
    char proxy_list[kTextSize] = "";

    {
      std::lock_guard<std::mutex> hold(ServerAccessSettingLock());
      if (!m_bServerAccessSettingLoaded.exchange(true)) {
        MyConfigure* configure = MyConfigure::GetInstance();
        if (configure != nullptr &&
            !configure->ReadConfigure(ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag,
                                      m_sServerAccessSetting, sizeof m_sServerAccessSetting))
          m_sServerAccessSetting[0] = '\0';
      }
    }

    bool succeeded = TryRememberedSetting(sURL, sIP, iPort, bSecure, sVerb, sPostData);
    if (succeeded) {
      KS_LOG(0, kOperation, "WPADLocation = %s, bConnectionSucceeded = %s", location, "Y");
    } else {
      ConnectionOptions options;
      if (options.ScriptUrl() != nullptr) {
        KS_LOG(0, "HR::DP", "Option[0].Value.pszValue %s", options.ScriptUrl());
        if (!ks::CopyText(location, sizeof location, options.ScriptUrl()))
          KS_LOG(0, "HR::DP", "script location too long, ignored");
      }
      if (options.Bypass() != nullptr) KS_LOG(0, "HR::DP", "Option[3].Value.pszValue %s", options.Bypass());
      if (options.ProxyServer() != nullptr) KS_LOG(0, "HR::DP", "Option[4].Value.pszValue %s", options.ProxyServer());

      // Runs the proxy script (found at `location`, or discovered when it is
      // empty) and tries the entries of its answer.
      auto try_script = [&](const char* how) {
        Detect(sURL, sIP, iPort, location, proxy_list);
        if (proxy_list[0] == '\0') {
          KS_LOG(0, kOperation, "empty after %s", how);
          return false;
        }
        KS_LOG(0, kOperation, "%s after %s", proxy_list, how);
        return SetOptionA(sURL, sIP, iPort, bSecure, sVerb, proxy_list, sPostData);
      };

      succeeded = SetOptionR(sURL, sIP, iPort, bSecure, sVerb, options.Bypass() ? options.Bypass() : "",
                             options.ProxyServer(), sPostData);
      KS_LOG(0, kOperation, "After SetOptionR() bConnectionSucceeded = %s", ks::YesNo(succeeded));
      if (succeeded || location[0] == '\0') {
        KS_LOG(0, kOperation, "WPADLocation = %s, bConnectionSucceeded = %s", location, ks::YesNo(succeeded));
      } else {
        succeeded = try_script("auto URL");
      }
      if (!succeeded && (options.Flags() & PROXY_TYPE_AUTO_DETECT) != 0) {
        location[0] = '\0';
        succeeded = try_script("auto detect");
      } else {
        KS_LOG(0, kOperation, "Option[2].Value.dwValue = %d, bConnectionSucceeded = %s",
               static_cast<int>(options.Flags()), ks::YesNo(succeeded));
      }
    }

    if (succeeded) {
      KS_LOG(0, kOperation, "HR::SendRequest succeeded! m_sServerAccessSetting = %s", RememberedSettings().c_str());
    } else {
      KS_LOG(0, kOperation, "HR::SendRequest failed! %s, %s, %d", ksnet::LogFormOfURL(sURL).c_str(), sIP,
             2 * iPort + 10);
    }
    return succeeded;
  } catch (...) {
    KS_LOG(0, kOperation, "error code=%d", static_cast<int>(GetLastError()));
    return false;
  }
}
