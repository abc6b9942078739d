#include "crash/error_report_win.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/my_log_win.h"
#include "base/system_api_win.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "crash/error_report_server.h"
#include "crash/error_report_text.h"
#include "crash/system_info_win.h"
#include "net/name_resolution_win.h"
#include "net/proxy_credentials_win.h"
#include "net/wait_limits_win.h"
#include "setup/version_text.h"
#include "system/split_path.h"

namespace {

const wchar_t kReportObject[] = L"/aspx/web_conference/common/DUZirerEzived.aspx";
const wchar_t kReportHeader[] = L"Content-Type: application/x-www-form-urlencoded";

// The system's text for an error code ("" when it has none).
std::string SystemErrorText(unsigned long code) {
  wchar_t text[1024];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                1024, nullptr);
  if (length == 0 || length >= 1024) return std::string();
  text[length] = L'\0';
  return Narrow(text);
}

// The version text the settings gave, else the content of "version.txt" in
// the current folder (which then becomes the process's version text).
std::string VersionForReport() {
  std::string version = GetVersionText();
  if (!version.empty()) return version;
  std::string content;
  if (Utility::GetFileData("version.txt", content) && !content.empty()) {
    version = content.c_str();  // a text: it ends at a zero byte
    SetVersionText(version.c_str());
  }
  return version;
}

// What every report carries: the starter's file and folder, the access cache
// (its password blanked), the log, the machine and the version. `folder`
// gets the starter's folder, "" when it cannot be had.
ErrorReportFacts CollectSharedFacts(std::string* folder) {
  ErrorReportFacts facts;
  wchar_t wide_path[512];
  DWORD length = GetModuleFileNameW(nullptr, wide_path, 512);
  if (length == 0 || length >= 512) wide_path[0] = L'\0';
  std::string own_path = Narrow(wide_path);
  char own_folder[2048];
  char name[2048];
  folder->clear();
  if (SplitPath(own_path.c_str(), own_folder, sizeof own_folder, name, sizeof name, "\\") && own_folder[0] != '\0') {
    facts.current_directory = own_folder;
    facts.current_file = name;
    *folder = own_folder;
  }

  // Without the program's folder there is no cache or dump to look for (a
  // bare "\Cache.xml" would be read from the root of the current drive).
  std::string content;
  if (!folder->empty() && Utility::ReadWholeFile(ks::Format("%s\\Cache.xml", folder->c_str()).c_str(), content))
    facts.cache = MakeTextAttachment(RemoveCachePassword(content));
  if (Utility::ReadWholeFile(MyLog::GetCurrentLogPath(), content)) facts.log = MakeTextAttachment(content);

  GetIEVersion();
  GetOSDescription();
  GetHostNameAndAddress();
  const CrashSystemInfo& system = GetCrashSystemInfo();
  facts.ie_version = system.ie_version;
  facts.ie_build = system.ie_build;
  facts.ie_minor_version = system.ie_minor_version;
  facts.os_description = system.os_description;
  facts.computer_name = system.computer_name;
  facts.computer_address = system.computer_address;
  facts.version = VersionForReport();
  return facts;
}

}  // namespace

std::string CollectErrorReportText(unsigned long last_error) {
  std::string folder;
  ErrorReportFacts facts = CollectSharedFacts(&folder);
  facts.last_error = last_error;
  facts.last_error_text = SystemErrorText(last_error);

  std::string content;
  if (!folder.empty() && Utility::ReadWholeFile(ks::Format("%s\\%s", folder.c_str(), "CRASH.DMP").c_str(), content))
    facts.dump = MakeDumpAttachment(content);
  content.clear();
  content.shrink_to_fit();
  return BuildErrorReportText(facts);
}

std::string CollectFailureReportText(ks::FailureCause cause) {
  std::string folder;
  ErrorReportFacts facts = CollectSharedFacts(&folder);
  facts.last_error = 0;
  facts.last_error_text = ks::FailureCauseName(cause);
  return BuildErrorReportText(facts);
}

bool PostErrorReport(const std::string& body) {
  ks::UniqueInternet root(ks::sys::InternetOpenW(L"Internet Explorer", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0));
  if (!root)
    root.reset(ks::sys::InternetOpenW(L"Internet Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root) return false;

  char address[512];
  if (!Utility::ResolveHostAddress(ErrorReportHost(), address, sizeof address) || address[0] == '\0')
    ks::CopyText(address, sizeof address, ErrorReportAddress());

  ks::UniqueInternet connection(ks::sys::InternetConnectW(root.get(), Widen(address).c_str(), ErrorReportPort(),
                                                          nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return false;
  ks::UniqueInternet request(
      ks::sys::HttpOpenRequestW(connection.get(), L"POST", kReportObject, nullptr, nullptr, nullptr, 0, 0));
  if (!request) return false;
  // A report server that takes the connection and never answers must not
  // hold the crashed process open for ever.
  ksnet::LimitWaits(request.get());
  ksnet::GiveProxyCredentials(root.get(), request.get());
  return ks::sys::HttpSendRequestW(request.get(), kReportHeader, static_cast<DWORD>(-1), const_cast<char*>(body.data()),
                                   static_cast<DWORD>(body.size())) != FALSE;
}

void SendErrorReport(unsigned long last_error) {
  // The process is about to end: a failure here (even running out of memory
  // for a large dump) only loses the report.
  try {
    std::string body = BuildErrorReportBody(CollectErrorReportText(last_error));
    PostErrorReport(body);
  } catch (...) {
  }
}
