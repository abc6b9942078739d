#include "net/url_download_win.h"

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "net/name_resolution_win.h"
#include "net/receive_limit.h"
#include "net/request_trouble.h"
#include "net/socket_reply.h"
#include "net/socket_request.h"
#include "net/url_parts.h"

namespace Utility {
namespace {

const char kOperation[] = "Utility::URLDownload";

class SocketSource : public ksnet::ReplySource {
 public:
  explicit SocketSource(SOCKET socket) : socket_(socket) {}
  int Receive(char* buffer, int capacity) override {
    int n = recv(socket_, buffer, capacity, 0);
    if (n == SOCKET_ERROR) ksnet::NoteRequestError(WSAGetLastError());
    return n;
  }
  int ReceiveWithin(char* buffer, int capacity, int wait_ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval wait = {wait_ms / 1000, (wait_ms % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) != 1) return 0;
    int n = recv(socket_, buffer, capacity, 0);
    return n > 0 ? n : 0;
  }
  int LastError() const override { return WSAGetLastError(); }
  const char* ErrorText(int code) const override { return GetErrorText(code); }

 private:
  SOCKET socket_;
};

// Every way out after connect was tried: shut both directions, drain one
// small read, close.
class ClosingSocket {
 public:
  explicit ClosingSocket(SOCKET socket) : socket_(socket) {}
  ~ClosingSocket() {
    if (socket_ == INVALID_SOCKET) return;
    shutdown(socket_, SD_BOTH);
    char drain[128];
    recv(socket_, drain, sizeof drain, 0);
    closesocket(socket_);
  }
  ClosingSocket(const ClosingSocket&) = delete;
  ClosingSocket& operator=(const ClosingSocket&) = delete;
  SOCKET get() const { return socket_; }

 private:
  SOCKET socket_;
};

void LogSocketFailure(const char* format, const char* text) {
  int code = WSAGetLastError();
  ksnet::NoteRequestError(code);
  KS_LOG(3, kOperation, format, text, code, GetErrorText(code));
}

}  // namespace

bool URLDownload(const char* url, int expected_size, bool small_reads, std::unique_ptr<char[]>* body,
                 int* body_size, std::atomic<int>* received, char* room, size_t room_size,
                 ksnet::RangeState* range) {
  if (body != nullptr) body->reset();
  if (body_size != nullptr) *body_size = 0;
  if (url == nullptr || body == nullptr || body_size == nullptr) return false;

  char host[ksnet::kUrlWorkLimit];
  char path[ksnet::kUrlWorkLimit];
  int port = 80;
  if (!ParseServerAddress(url, host, sizeof host, &port, path, sizeof path)) {
    LogSocketFailure("Failed to parse SERVER_ADDRESS: %s, Error Code = %d, Error = %s", url);
    return false;
  }
  char address[512];
  if (!GetIPAddressByName(host, address, sizeof address)) {
    LogSocketFailure("Failed to get IP address for SERVER_ADDRESS: %s, Error Code = %d, Error = %s", url);
    return false;
  }
  // The address text is converted directly; looking the dotted text up once
  // more would only give the same address back.
  unsigned long ip = inet_addr(address);
  if (ip == INADDR_NONE) {
    LogSocketFailure("inet_addr(%s) failed, error code: %d, error: %s", host);
    return false;
  }
  if (port == 443) port = 80;  // never TLS: https is asked of port 80

  SOCKET raw = socket(AF_INET, SOCK_STREAM, 0);
  if (raw == INVALID_SOCKET) {
    int code = WSAGetLastError();
    KS_LOG(3, kOperation, "socket() failed, error code: %d, error: %s", code, GetErrorText(code));
    return false;
  }
  ClosingSocket connection(raw);
  linger linger_option = {1, 1};
  setsockopt(raw, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&linger_option), sizeof linger_option);
  // The receive buffer is left to the system, which grows it with the
  // transfer; a fixed size would stop that growth and made no download
  // faster.

  // A server that holds the connection open and sends nothing would hold the
  // download (and the window) for ever: a receive that waits this long fails.
  DWORD receive_limit = static_cast<DWORD>(ksnet::kReceiveLimitMs);
  setsockopt(raw, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive_limit), sizeof receive_limit);

  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  target.sin_addr.s_addr = ip;
  if (connect(raw, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    LogSocketFailure("connect() failed, host: %s, error code: %d, error: %s", host);
    return false;
  }
  ksnet::NoteServerReached();

  std::string range_lines;
  if (range != nullptr) {
    range->asked_from = room != nullptr && room_size >= static_cast<size_t>(expected_size > 0 ? expected_size : 0)
                            ? range->ResumeFrom(expected_size)
                            : 0;
    if (range->asked_from > 0) {
      range_lines = ksnet::RangeHeaders(range->asked_from, range->validator);
      KS_LOG(0, kOperation, "asking for bytes %d to %d, If-Range: %s", range->asked_from, expected_size - 1,
             range->validator.c_str());
    }
  }
  std::string request = ksnet::BuildSocketRequest(host, port, path, range_lines);
  int sent = send(raw, request.data(), static_cast<int>(request.size()), 0);
  if (sent != static_cast<int>(request.size())) {
    LogSocketFailure("send() failed, host: %s, error code: %d, error: %s", host);
    return false;
  }

  SocketSource source(raw);
  return ksnet::ReceiveReply(source, expected_size, small_reads, body, body_size, received, room, room_size, range);
}

}  // namespace Utility
