// HLib::GetPage: the engine, then one plain WinInet request, then (once
// WinInet has failed in this process) the socket fetch.
#include <cstring>
#include <memory>
#include <string>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/text.h"
#include "net/hlib_win.h"
#include "net/my_configure_win.h"
#include "net/proxy_credentials_win.h"
#include "net/request_trouble.h"
#include "net/url_download_win.h"
#include "net/url_parts.h"
#include "net/wait_limits_win.h"
#include "system/user_account_win.h"

namespace {

const char kOperation[] = "HLib::GetPage";

void LogLastError(const char* operation, const char* format) {
  int code = static_cast<int>(GetLastError());
  ksnet::NoteRequestError(code);
  KS_LOG(3, operation, format, code, GetErrorText(code));
}


}  // namespace

HLib::HLib() {}

HLib::~HLib() {}

bool HLib::PlainRequest(const char* sIP, int iPort, const char* sURL) {
  bool result = false;
  try {
    ks::UniqueInternet internet(
        ks::sys::InternetOpenA("Internet Explorer", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0));
    if (!internet)
      internet.reset(ks::sys::InternetOpenA("Internet Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    ks::UniqueInternet connection;
    ks::UniqueInternet request;
    if (internet)
      connection.reset(ks::sys::InternetConnectA(internet.get(), sIP, static_cast<INTERNET_PORT>(iPort), nullptr,
                                                 nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    if (connection)
      request.reset(ks::sys::HttpOpenRequestA(connection.get(), "GET", sURL, nullptr, nullptr, nullptr, 0, 1));
    // Given the engine's limits: left to the system's defaults, a server that
    // holds the connection open and sends nothing would hold the download
    // (and the window) as long as the system lets it, under Wine for ever.
    if (request) {
      ksnet::LimitWaits(request.get());
      ksnet::GiveProxyCredentials(internet.get(), request.get());
      AskForRest(request.get());
    }
    if (!request || !ks::sys::HttpSendRequestA(request.get(), "Content-Type: application/x-www-form-urlencoded",
                                               static_cast<DWORD>(-1), nullptr, 0)) {
      LogLastError(kOperation, "HSR() failed, error code: %d, error: %s");
      bHTTPFailed = true;
      return false;
    }
    ksnet::NoteServerReached();
    switch (ReadReply(request.get())) {
      case ReadResult::kCountedFailed:
        LogLastError("HR::GetPage", "IRE() error code: %d, error: %s");
        bHTTPFailed = true;
        return false;
      case ReadResult::kSingleFailed:
        LogLastError(kOperation, "IRE() failed, error code: %d, error: %s");
        bHTTPFailed = true;
        return false;
      case ReadResult::kCountedDone:
      case ReadResult::kSingleDone:
        result = true;
        break;
    }
    if (!ReplyHasKeyword()) {
      LogLastError(kOperation, "No keyword, error code: %d, error: %s");
      bHTTPFailed = true;
      result = false;
    }
  } catch (...) {
    LogLastError(kOperation, "Crash, error code: %d, error: %s");
    bHTTPFailed = true;
  }
  return result;
}

bool HLib::SocketFetch(const char* sIP, int iPort, const char* sURL, int* port_used) {
  KS_LOG(0, kOperation, "HTTP fialed. Now try TCP for URL = %s", ksnet::LogFormOfURL(sURL).c_str());
  std::string url = ksnet::SocketFetchURL(sIP, iPort, sURL, port_used);
  // What an earlier road left of a resumable download stays; this road asks
  // for the rest.
  m_iReplyLength = HeldBytes();
  if (m_iReplyLength == 0) m_sReturn[0] = '\0';
  std::unique_ptr<char[]> body;
  int body_size = 0;
  int capacity = ReplyCapacity();
  ksnet::RangeState* range = CountedMode() && m_oRange.resumable ? &m_oRange : nullptr;
  // A reply that fits goes straight into the caller's buffer: a package
  // copied over from a block of its own would be held twice at the end.
  bool fetched = Utility::URLDownload(url.c_str(), m_iExpectedReceiveSize, m_bUseMinReadBuffer, &body, &body_size,
                                      &m_iCurrentlyReceived, m_sReturn, static_cast<size_t>(capacity), range);
  m_iReplyLength = HeldBytes();
  if (!fetched || body_size <= 0) return false;

  int copied = body_size < capacity ? body_size : capacity;
  if (body) {
    if (copied < body_size)
      KS_LOG(3, kOperation, "reply of %d bytes cut to the reply limit of %d", body_size, copied);
    memcpy(m_sReturn, body.get(), static_cast<size_t>(copied));
    body.reset();
  }
  if (copied < m_iMaxLength) m_sReturn[copied] = '\0';
  m_iReplyLength = copied;
  // On this path a missing keyword is only a warning.
  if (!ReplyHasKeyword()) {
    int code = WSAGetLastError();
    KS_LOG(3, kOperation, "No keyword, error code: %d, error: %s", code, GetErrorText(code));
  }
  return true;
}

bool HLib::GetPage(const char* sIP, int iPort, const char* sURL, int iMaxLength, const char* sKeyInReturn,
                   char* sReturn, int* piPortUsed) {
  if (piPortUsed != nullptr) *piPortUsed = iPort;
  const char* url = sURL ? sURL : "";
  if (sIP == nullptr || sIP[0] == '\0') {
    KS_LOG(0, kOperation, "Empty IP, iPort = %d, URL = %s, m_iExpectedReceiveSize = %d", iPort,
           ksnet::LogFormOfURL(url).c_str(), m_iExpectedReceiveSize);
    return false;
  }
  KS_LOG(0, kOperation, "sIP = %s, iPort = %d, URL = %s, m_iExpectedReceiveSize = %d", sIP, iPort,
         ksnet::LogFormOfURL(url).c_str(), m_iExpectedReceiveSize);
  // Refusals of what no path could fetch safely.
  if (sURL == nullptr || sReturn == nullptr || iMaxLength < 1 || iPort < 1 || iPort > 65535) {
    KS_LOG(3, kOperation, "Invalid request: iPort = %d, iMaxLength = %d", iPort, iMaxLength);
    return false;
  }
  if (m_bUseMinReadBuffer && m_iExpectedReceiveSize > iMaxLength) {
    KS_LOG(3, kOperation, "Counted download refused: m_iExpectedReceiveSize = %d, iMaxLength = %d",
           m_iExpectedReceiveSize, iMaxLength);
    return false;
  }

  const char* keyword = sKeyInReturn ? sKeyInReturn : "";
  SetReplyTarget(sReturn, iMaxLength, keyword);
  KS_LOG(0, kOperation, "bIsSystemUser = %s, g_oMyConfigure is NULL = %s, bHTTPFailed = %s",
         ks::YesNo(IsSystemUser()), ks::YesNo(MyConfigure::GetInstance() == nullptr), ks::YesNo(bHTTPFailed));

  bool secure = iPort == 443;
  bool result = SendRequest(sURL, sIP, iPort, secure, "GET", "");
  CloseHandles();
  if (!result) result = PlainRequest(sIP, iPort, sURL);

  int port_used = iPort;
  if (bHTTPFailed) result = SocketFetch(sIP, iPort, sURL, &port_used);
  if (piPortUsed != nullptr) *piPortUsed = port_used;
  // The buffer ends zero-filled past the reply (or wholly, without one). It is
  // filled here rather than before the request so a large download does not
  // pass over its memory twice.
  int kept = m_iReplyLength > HeldBytes() ? m_iReplyLength : HeldBytes();
  if (kept > iMaxLength) kept = iMaxLength;
  memset(sReturn + kept, 0, static_cast<size_t>(iMaxLength - kept));
  ClearReplyTarget();
  return result;
}
