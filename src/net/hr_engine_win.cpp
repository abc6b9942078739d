// The request engine's state and reading a reply into the caller's buffer.
#include <climits>
#include <cstring>
#include <string>

#include "base/clock_win.h"
#include "base/log_api.h"
#include "base/system_api_win.h"
#include "base/text.h"
#include "net/hlib_win.h"
#include "net/page_mapper.h"
#include "net/piece_sizer.h"
#include "net/proxy_credentials_win.h"
#include "net/socket_reply.h"

std::atomic<bool> HR::bHTTPFailed(false);
char HR::m_sServerAccessSetting[ksnet::kServerAccessSettingSize] = "";
std::atomic<bool> HR::m_bServerAccessSettingLoaded(false);

std::mutex& HR::ServerAccessSettingLock() {
  static std::mutex* lock = new std::mutex();  // used until the process ends
  return *lock;
}

void HR::ResetSharedState() {
  std::lock_guard<std::mutex> hold(ServerAccessSettingLock());
  bHTTPFailed = false;
  m_sServerAccessSetting[0] = '\0';
  m_bServerAccessSettingLoaded = false;
  ksnet::WipeProxyCredentials();
}

HR::HR()
    : m_bUseMinReadBuffer(false),
      m_iCurrentlyReceived(0),
      m_iExpectedReceiveSize(0),
      m_sReturn(nullptr),
      m_iMaxLength(0),
      m_sKeyInReturn(nullptr),
      m_iReplyLength(0) {
  InitializeCriticalSection(&m_oRequestLock);
}

HR::~HR() {
  CloseHandles();
  DeleteCriticalSection(&m_oRequestLock);
}

void HR::SetReplyTarget(char* buffer, int limit, const char* keyword) {
  m_sReturn = buffer;
  m_iMaxLength = buffer != nullptr && limit > 0 ? limit : 0;
  m_sKeyInReturn = keyword;
  m_iReplyLength = 0;
}

void HR::ClearReplyTarget() {
  // The length of the last reply stays readable.
  m_sReturn = nullptr;
  m_iMaxLength = 0;
  m_sKeyInReturn = nullptr;
}

void HR::CloseHandles() {
  // Request before connection before session.
  m_hRequest.reset();
  m_hConnect.reset();
  m_hInternet.reset();
}

int HR::ReplyCapacity() const {
  if (m_sReturn == nullptr || m_iMaxLength <= 0) return 0;
  return CountedMode() ? m_iMaxLength : m_iMaxLength - 1;
}

bool HR::ReplyHasKeyword() const {
  if (m_sKeyInReturn == nullptr || m_sKeyInReturn[0] == '\0') return true;
  if (m_sReturn == nullptr) return false;
  // Bounded by what arrived, not by a zero byte: a counted reply may fill
  // the whole buffer.
  return ks::FindBytes(m_sReturn, static_cast<size_t>(m_iReplyLength), m_sKeyInReturn, strlen(m_sKeyInReturn)) !=
         nullptr;
}

namespace {

const char kReadOperation[] = "HR::ReadReply";

enum class AnnouncedLength { kNone, kExpected, kOther };

// What the reply's Content-Length says about a count the caller knows.
AnnouncedLength CompareContentLength(HINTERNET request, int expected) {
  char text[64];
  DWORD size = sizeof text;
  if (!ks::sys::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
    return GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND ? AnnouncedLength::kNone : AnnouncedLength::kOther;
  if (size >= sizeof text) return AnnouncedLength::kOther;
  if (ksnet::ContentLengthEquals(text, size, expected)) return AnnouncedLength::kExpected;
  text[size] = '\0';
  KS_LOG(3, kReadOperation, "Content-Length %s does not match the expected length %d, refused", text, expected);
  return AnnouncedLength::kOther;
}

// The socket fetch takes a reply only when its header lies within the first
// block it receives; a header larger than that is refused on every path, so
// which path a reply came through never decides whether it is taken.
bool HeaderTooLarge(HINTERNET request) {
  DWORD size = 0;
  if (ks::sys::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size < static_cast<DWORD>(ksnet::kFirstBlockSize))
    return false;
  KS_LOG(3, kReadOperation, "header of %u bytes, refused", static_cast<unsigned>(size));
  return true;
}

}  // namespace

HR::ReadResult HR::ReadReply(HINTERNET request) {
  // Bytes a resumed download holds stay in the buffer whatever this reply is.
  m_iReplyLength = HeldBytes();
  ReadResult result;
  if (HeaderTooLarge(request)) {
    if (CountedMode()) m_iCurrentlyReceived = m_iReplyLength;
    SetLastError(ERROR_INVALID_DATA);
    result = CountedMode() ? ReadResult::kCountedFailed : ReadResult::kSingleFailed;
  } else {
    result = CountedMode() ? ReadCounted(request) : ReadSingle(request);
  }
  // Whatever did not arrive reads as zeros. Zeroing only the rest (instead of
  // the whole buffer first) spares a large download a second pass over its
  // memory; nobody looks at the buffer before the read returns.
  if (m_sReturn != nullptr && m_iReplyLength < m_iMaxLength)
    memset(m_sReturn + m_iReplyLength, 0, static_cast<size_t>(m_iMaxLength - m_iReplyLength));
  return result;
}

HR::ReadResult HR::ReadCounted(HINTERNET request) {
  m_iCurrentlyReceived = m_iReplyLength;
  if (m_sReturn == nullptr || m_iExpectedReceiveSize > m_iMaxLength) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return ReadResult::kCountedFailed;
  }
  int from = 0;
  std::string validator;
  if (!TakeRangeReply(request, &from, &validator)) {
    SetLastError(ERROR_INVALID_DATA);
    return ReadResult::kCountedFailed;
  }
  // A counted download must be exactly the expected length (of the rest,
  // when only that was asked for); a reply that announces another one is
  // refused before anything is read.
  AnnouncedLength announced = CompareContentLength(request, m_iExpectedReceiveSize - from);
  if (announced == AnnouncedLength::kOther) {
    SetLastError(ERROR_INVALID_DATA);
    return ReadResult::kCountedFailed;
  }
  int received = from;
  int remaining = m_iExpectedReceiveSize - from;
  // Bytes held stay held until a byte of this reply lands over them.
  m_iReplyLength = from > 0 ? from : HeldBytes();
  m_iCurrentlyReceived = received;
  ksnet::PieceSizer sizer(kCountedPiece, kCountedPieceMax);
  ksnet::PageMapper mapper(m_sReturn);
  while (remaining > 0) {
    DWORD want = static_cast<DWORD>(remaining < sizer.size() ? remaining : sizer.size());
    mapper.MapAhead(static_cast<size_t>(received), static_cast<size_t>(received) + want);
    double start = ks::SecondsNow();
    DWORD got = 0;
    if (!ks::sys::InternetReadFile(request, m_sReturn + received, want, &got) || got == 0 || got > want)
      return ReadResult::kCountedFailed;
    sizer.Record((ks::SecondsNow() - start) * 1000.0);
    received += static_cast<int>(got);
    remaining -= static_cast<int>(got);
    m_iReplyLength = received;
    m_iCurrentlyReceived = received;
    m_oRange.Took(received, validator);
  }
  // Without a Content-Length the reply ends where the peer closes (or at the
  // last chunk), so one more read ends at once unless more was coming. With
  // one, nothing is read past it.
  if (announced == AnnouncedLength::kNone) {
    char beyond[256];
    DWORD got = 0;
    if (ks::sys::InternetReadFile(request, beyond, sizeof beyond, &got) && got > 0) {
      int count = got > static_cast<DWORD>(INT_MAX - received) ? INT_MAX : received + static_cast<int>(got);
      m_iCurrentlyReceived = count;
      KS_LOG(3, kReadOperation, "received %d bytes beyond the expected length %d, refused", static_cast<int>(got),
             m_iExpectedReceiveSize);
      SetLastError(ERROR_INVALID_DATA);
      return ReadResult::kCountedFailed;
    }
  }
  return ReadResult::kCountedDone;
}

HR::ReadResult HR::ReadSingle(HINTERNET request) {
  int capacity = ReplyCapacity();
  if (capacity <= 0) return ReadResult::kSingleDone;
  INTERNET_BUFFERSA buffers = {};
  buffers.dwStructSize = sizeof buffers;
  buffers.lpvBuffer = m_sReturn;
  buffers.dwBufferLength = static_cast<DWORD>(capacity);
  if (!ks::sys::InternetReadFileExA(request, &buffers, IRF_SYNC, 0)) return ReadResult::kSingleFailed;
  DWORD got = buffers.dwBufferLength;
  m_iReplyLength = static_cast<int>(got <= static_cast<DWORD>(capacity) ? got : static_cast<DWORD>(capacity));
  return ReadResult::kSingleDone;
}
