// A counted download that holds part of its body asks WinInet's roads for
// the rest only, and takes a reply only when it continues what it holds.
#include <string>

#include "base/log_api.h"
#include "base/system_api_win.h"
#include "net/hlib_win.h"

namespace {

const char kOperation[] = "HR::Range";

std::string RawHeaders(HINTERNET request) {
  DWORD size = 0;
  if (ks::sys::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
    return std::string();
  std::string head(size, '\0');
  if (!ks::sys::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, &head[0], &size, nullptr)) return std::string();
  head.resize(size < head.size() ? size : head.size());
  return head;
}

}  // namespace

void HR::AskForRest(HINTERNET request) {
  m_oRange.asked_from = 0;
  if (!CountedMode()) return;
  int from = m_oRange.ResumeFrom(m_iExpectedReceiveSize);
  if (from == 0) return;
  std::string lines = ksnet::RangeHeaders(from, m_oRange.validator);
  if (!ks::sys::HttpAddRequestHeadersA(request, lines.c_str(), static_cast<DWORD>(lines.size()),
                                       HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
    KS_LOG(3, kOperation, "the rest from byte %d could not be asked for, error code: %d", from,
           static_cast<int>(GetLastError()));
    return;
  }
  m_oRange.asked_from = from;
  KS_LOG(0, kOperation, "asking for bytes %d to %d, If-Range: %s", from, m_iExpectedReceiveSize - 1,
         m_oRange.validator.c_str());
}

bool HR::TakeRangeReply(HINTERNET request, int* from, std::string* validator) {
  *from = 0;
  if (!CountedMode() || !m_oRange.resumable) return true;
  std::string head = RawHeaders(request);
  return ksnet::TakeRangeReply(head.data(), head.size(), m_oRange, m_iExpectedReceiveSize, kOperation, from, validator);
}
