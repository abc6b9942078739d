// One complete request with one access setting.
#include <cstring>
#include <ctime>
#include <string>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/text.h"
#include "net/hlib_win.h"
#include "net/proxy_credentials_win.h"
#include "net/receive_limit.h"
#include "net/request_trouble.h"
#include "net/url_parts.h"
#include "net/wait_limits_win.h"

namespace {

const char kOperation[] = "HR::DoRequest";
const DWORD kRefusalPageLimit = 1024 * 1024;

DWORD SystemCredentialPrompt(HINTERNET request) {
  return ks::sys::InternetErrorDlg(
      GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr);
}

HR::CredentialPrompt g_credential_prompt = &SystemCredentialPrompt;

void LogLastError(int level, const char* format) {
  int code = static_cast<int>(GetLastError());
  ksnet::NoteRequestError(code);
  KS_LOG(level, kOperation, format, code, GetErrorText(code));
}

void SetTimeout(HINTERNET handle, DWORD option, const char* format) {
  DWORD timeout = static_cast<DWORD>(ksnet::kReceiveLimitMs);
  if (!ks::sys::InternetSetOptionA(handle, option, &timeout, sizeof timeout)) {
    int code = static_cast<int>(GetLastError());
    KS_LOG(3, kOperation, format, ksnet::kReceiveLimitMs, code, GetErrorText(code));
  }
}

// Certificate problems never stop a request.
void IgnoreCertificateProblems(HINTERNET request) {
  DWORD flags = 0;
  DWORD length = sizeof flags;
  ks::sys::InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length);
  flags |= SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_WRONG_USAGE |
           SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  ks::sys::InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
}

}  // namespace

HR::CredentialPrompt HR::SetCredentialPrompt(CredentialPrompt prompt) {
  CredentialPrompt previous = g_credential_prompt;
  g_credential_prompt = prompt != nullptr ? prompt : &SystemCredentialPrompt;
  return previous;
}

bool HR::DoRequest(const char* sURL, const char* sIP, int iPort, bool bSecure, const char* sVerb, char cPType,
                   const char* sByPass, const char* sPAddress, const char* sPostData) {
  if (sURL == nullptr || sIP == nullptr || sVerb == nullptr) return false;
  if (strcmp(sIP, "127.0.0.1") == 0) {
    KS_LOG(0, kOperation, "Skip 127.0.0.1");
    return false;
  }
  try {
    DWORD connections = 10;
    ks::sys::InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections, sizeof connections);
    ks::sys::InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections, sizeof connections);
    std::string log_url = ksnet::LogFormOfURL(sURL);
    KS_LOG(0, kOperation, "Begin HR::DoRequest(), sIP = %s, iPort = %d, cPType=%c, sByPass=%s, sPAddress=%s, URL=%s",
           sIP, iPort, cPType, sByPass ? sByPass : "", sPAddress ? sPAddress : "", log_url.c_str());

    // Only the last attempt's handles are kept; an earlier attempt's go now.
    CloseHandles();
    DWORD access = INTERNET_OPEN_TYPE_PROXY;
    const char* proxy = sPAddress;
    const char* bypass = sByPass;
    if (cPType == 'D' || cPType == 'L') {
      access = cPType == 'D' ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG;
      proxy = nullptr;
      bypass = nullptr;
    }
    m_hInternet.reset(ks::sys::InternetOpenA("Microsoft Internet Explorer", access, proxy, bypass, 0));
    if (!m_hInternet) {
      LogLastError(3, "I-Open failed error code: %d, error: %s");
      return false;
    }
    SetTimeout(m_hInternet.get(), INTERNET_OPTION_CONNECT_TIMEOUT, "Conn lTimeout=%d, error code: %d, error: %s");
    SetTimeout(m_hInternet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, "Recv lTimeout=%d, error code: %d, error: %s");
    SetTimeout(m_hInternet.get(), INTERNET_OPTION_SEND_TIMEOUT, "Send lTimeout=%d, error code: %d, error: %s");
    KS_LOG(3, kOperation, "after ISO lTimeout = %d", ksnet::kReceiveLimitMs);

    std::string url;
    if (!ksnet::AddCacheBuster(sURL, static_cast<long>(time(nullptr)), &url)) {
      KS_LOG(3, kOperation, "URL too long: %s", log_url.c_str());
      return false;
    }
    if (iPort < 1 || iPort > 65535) {
      KS_LOG(3, kOperation, "invalid port %d", iPort);
      return false;
    }
    m_hConnect.reset(ks::sys::InternetConnectA(m_hInternet.get(), sIP, static_cast<INTERNET_PORT>(iPort), nullptr,
                                               nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_hConnect) {
      LogLastError(3, "failed to connect. error code: %d, error: %s");
      return false;
    }
    KS_LOG(3, kOperation, "after IC");
    DWORD flags = bSecure ? (INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE) : 0;
    m_hRequest.reset(
        ks::sys::HttpOpenRequestA(m_hConnect.get(), sVerb, url.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!m_hRequest) {
      LogLastError(3, "failed to open-r: error code: %d, error: %s");
      return false;
    }
    KS_LOG(3, kOperation, "after HR");
    ksnet::LimitWaits(m_hRequest.get());  // the session's limits, where they are not handed down
    AskForRest(m_hRequest.get());
    // A participant asked once for this proxy is not asked again this run.
    ksnet::ProxyPromptTurn prompt_turn;
    std::string given_for = ksnet::GiveProxyCredentials(m_hInternet.get(), m_hRequest.get());
    if (!given_for.empty()) KS_LOG(0, kOperation, "proxy credentials of this run given for %s", given_for.c_str());

    HINTERNET request = m_hRequest.get();
    bool proxy_prompted = false;
    for (;;) {
      IgnoreCertificateProblems(request);
      BOOL sent;
      if (strcmp(sVerb, "POST") == 0) {
        const char* body = sPostData ? sPostData : "";
        sent = ks::sys::HttpSendRequestA(request, "Content-Type: application/x-www-form-urlencoded",
                                         static_cast<DWORD>(-1), const_cast<char*>(body),
                                         static_cast<DWORD>(strlen(body)));
      } else {
        sent = ks::sys::HttpSendRequestA(request, nullptr, 0, nullptr, 0);
      }
      if (!sent) {
        LogLastError(3, "HSR failed. error code: %d, error: %s");
        return false;
      }
      KS_LOG(3, kOperation, "after HSR");
      ksnet::NoteServerReached();
      DWORD status = 0;
      DWORD length = sizeof status;
      if (!ks::sys::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                                   nullptr)) {
        LogLastError(3, "HQ() failed error code: %d, error: %s");
        return false;
      }
      KS_LOG(3, kOperation, "after HQI");
      if (status != HTTP_STATUS_DENIED && status != HTTP_STATUS_PROXY_AUTH_REQ) {
        if (proxy_prompted) {
          std::string kept_for = ksnet::KeepProxyCredentials(m_hInternet.get(), request);
          if (!kept_for.empty()) KS_LOG(0, kOperation, "proxy credentials kept for %s", kept_for.c_str());
        }
        break;
      }

      KS_LOG(3, kOperation, "after HQI troubled dwCode = %d", static_cast<int>(status));
      ksnet::NoteCredentialsAsked();
      // The refusal page is read away so the resend can take the same
      // connection; a page without end (a hostile proxy's) is read no
      // further than any real one goes, or the request would never return.
      char discard[50];
      DWORD read = 0;
      DWORD discarded = 0;
      while (discarded < kRefusalPageLimit && ks::sys::InternetReadFile(request, discard, sizeof discard, &read) &&
             read > 0)
        discarded += read;
      KS_LOG(3, kOperation, "after IRF");
      given_for = prompt_turn.Take(m_hInternet.get(), request);
      if (!given_for.empty()) {
        KS_LOG(0, kOperation, "proxy credentials of this run given for %s", given_for.c_str());
        continue;
      }
      if (g_credential_prompt(request) != ERROR_INTERNET_FORCE_RETRY) break;
      proxy_prompted = status == HTTP_STATUS_PROXY_AUTH_REQ;
      LogLastError(3, "HSR resend -- ERROR_INTERNET_FORCE_RETRY failed error code: %d, error: %s");
    }
    prompt_turn.Release();  // not held through the reply, which may be the whole package
    KS_LOG(0, kOperation, "HR::DoRequest succeeded! m_iExpectedReceiveSize = %d, m_bUseMinReadBuffer = %s",
           m_iExpectedReceiveSize, ks::YesNo(m_bUseMinReadBuffer));
    if (m_sKeyInReturn == nullptr) return true;

    try {
      switch (ReadReply(request)) {
        case ReadResult::kCountedFailed:
        case ReadResult::kSingleFailed:
          if (CountedMode() && m_iExpectedReceiveSize > m_iMaxLength)
            KS_LOG(3, kOperation, "m_iExpectedReceiveSize = %d exceeds the reply limit %d", m_iExpectedReceiveSize,
                   m_iMaxLength);
          LogLastError(3, "IRE() error code: %d, error: %s");
          return false;
        case ReadResult::kCountedDone:
          KS_LOG(0, kOperation, "HR::DoRequest succeeded! Read1 Completed!");
          break;
        case ReadResult::kSingleDone:
          KS_LOG(0, kOperation, "HR::DoRequest succeeded! Read2 Completed!");
          break;
      }
    } catch (...) {
      LogLastError(0, "CRASHED --- error code=%d, error = %s");
      return false;
    }
    if (ReplyHasKeyword()) return true;
    KS_LOG(0, kOperation, "Invalid page returned: %.*s", m_iReplyLength, m_sReturn ? m_sReturn : "");
    return false;
  } catch (...) {
    KS_LOG(0, kOperation, "error code=%d", static_cast<int>(GetLastError()));
    return false;
  }
}
