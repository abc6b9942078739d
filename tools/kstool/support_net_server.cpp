#include "support_net_server.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_text.h"

namespace kstool {
namespace net {

std::string Request::Header(const char* name) const {
  std::string wanted = name;
  ks::LowerAscii(&wanted[0]);
  for (const auto& header : headers) {
    std::string key = header.first;
    ks::LowerAscii(&key[0]);
    if (key == wanted) return header.second;
  }
  return std::string();
}

SOCKET Listen(const char* address, int port, int* actual_port) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return INVALID_SOCKET;
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(port));
  local.sin_addr.s_addr = inet_addr(address);
  if (local.sin_addr.s_addr == INADDR_NONE || bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    closesocket(listener);
    return INVALID_SOCKET;
  }
  int length = sizeof local;
  getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
  if (actual_port != nullptr) *actual_port = ntohs(local.sin_port);
  u_long non_blocking = 1;
  ioctlsocket(listener, FIONBIO, &non_blocking);
  return listener;
}

// Under Wine a blocking accept() now and then sleeps through a connection
// that has arrived (about one in a few hundred test runs; the client's
// request then waits for ever), so the listener is asked again at least
// every quarter second, whatever select() says.
SOCKET Accept(SOCKET listener) {
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait = {0, 250000};
    select(0, &readable, nullptr, nullptr, &wait);
    SOCKET client = accept(listener, nullptr, nullptr);
    if (client != INVALID_SOCKET) {
      u_long blocking = 0;  // an accepted socket inherits the listener's mode
      ioctlsocket(client, FIONBIO, &blocking);
      return client;
    }
  }
}

bool ReadRequest(SOCKET socket, Request* request) {
  std::string& head = request->head;
  head.clear();
  char buffer[4096];
  size_t end = std::string::npos;
  while (end == std::string::npos) {
    if (head.size() > 65536) return false;
    int got = recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    head.append(buffer, static_cast<size_t>(got));
    end = head.find("\r\n\r\n");
  }
  request->early_body = head.substr(end + 4);
  head.resize(end + 4);

  size_t line_end = head.find("\r\n");
  std::string line = head.substr(0, line_end);
  size_t first = line.find(' ');
  size_t last = line.rfind(' ');
  if (first == std::string::npos || last == first) return false;
  request->method = line.substr(0, first);
  request->target = line.substr(first + 1, last - first - 1);
  request->version = line.substr(last + 1);
  request->headers.clear();
  size_t pos = line_end + 2;
  while (pos < end) {
    size_t next = head.find("\r\n", pos);
    std::string field = head.substr(pos, next - pos);
    pos = next + 2;
    size_t colon = field.find(':');
    if (colon == std::string::npos) continue;
    size_t value = field.find_first_not_of(" \t", colon + 1);
    request->headers.emplace_back(field.substr(0, colon),
                                  value == std::string::npos ? std::string() : field.substr(value));
  }
  return true;
}

bool ReadBody(SOCKET socket, const Request& request, size_t limit, int wait_ms, std::string* body) {
  std::string length_text = request.Header("Content-Length");
  if (length_text.empty() || length_text.find_first_not_of("0123456789") != std::string::npos ||
      length_text.size() > 12)
    return false;
  size_t length = static_cast<size_t>(strtoull(length_text.c_str(), nullptr, 10));
  if (length > limit || request.early_body.size() > length) return false;
  *body = request.early_body;
  DWORD timeout = static_cast<DWORD>(wait_ms);
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  char buffer[65536];
  while (body->size() < length) {
    size_t want = length - body->size() < sizeof buffer ? length - body->size() : sizeof buffer;
    int got = recv(socket, buffer, static_cast<int>(want), 0);
    if (got <= 0) return false;
    body->append(buffer, static_cast<size_t>(got));
  }
  return true;
}

bool SendAll(SOCKET socket, const char* data, size_t length) {
  while (length > 0) {
    int chunk = length > (1u << 30) ? (1 << 30) : static_cast<int>(length);
    int sent = send(socket, data, chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

void CloseGracefully(SOCKET socket) {
  shutdown(socket, SD_SEND);
  DWORD timeout = 2000;
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  char drain[4096];
  for (int i = 0; i < 1024 && recv(socket, drain, sizeof drain, 0) > 0; ++i) {
  }
  closesocket(socket);
}

void RequestLog::Append(const std::string& head) {
  if (path_.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  ks::UniqueFile file(_wfopen(Widen(path_.c_str()).c_str(), L"ab"));
  if (file) fwrite(head.data(), 1, head.size(), file.get());
}

bool SplitHostPort(const std::string& text, int default_port, std::string* host, int* port) {
  *port = default_port;
  std::string rest = text;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string::npos) return false;
    *host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (rest.empty()) return true;
    if (rest[0] != ':') return false;
    *port = ks::ParseInt(rest.c_str() + 1);
    return *port > 0 && *port < 65536;
  }
  size_t colon = rest.rfind(':');
  if (colon == std::string::npos) {
    *host = rest;
    return !host->empty();
  }
  *host = rest.substr(0, colon);
  *port = ks::ParseInt(rest.c_str() + colon + 1);
  return !host->empty() && *port > 0 && *port < 65536;
}

}  // namespace net
}  // namespace kstool
