#include "support_net_proxy.h"

#include <cstring>

#include "base/codec.h"
#include "base/text.h"

namespace kstool {
namespace net {
namespace {

void SendStatus(SOCKET client, const char* status, const char* extra_header) {
  std::string body = std::string(status) + "\n";
  SendAll(client, ks::Format("HTTP/1.1 %s\r\n%sContent-Type: text/plain\r\nContent-Length: %d\r\n"
                             "Connection: close\r\n\r\n",
                             status, extra_header, static_cast<int>(body.size())) +
                      body);
}

bool Authorized(const Request& request, const ProxyConfig& config) {
  if (config.credentials.empty()) return true;
  std::string expected;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(config.credentials.data()), config.credentials.size(),
                        expected, false);
  return request.Header("Proxy-Authorization") == "Basic " + expected;
}

// Connects to host:port, which must be the loopback address.
SOCKET ConnectLoopback(const std::string& host, int port) {
  std::string address = host == "localhost" ? "127.0.0.1" : host;
  if (address.compare(0, 4, "127.") != 0) return INVALID_SOCKET;
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  target.sin_addr.s_addr = inet_addr(address.c_str());
  if (target.sin_addr.s_addr == INADDR_NONE) return INVALID_SOCKET;
  SOCKET upstream = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (upstream == INVALID_SOCKET) return INVALID_SOCKET;
  if (connect(upstream, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    closesocket(upstream);
    return INVALID_SOCKET;
  }
  return upstream;
}

}  // namespace

void HandleProxyRequest(SOCKET client, const Request& request, const ProxyConfig& config) {
  const std::string scheme = "http://";
  if (request.target.compare(0, scheme.size(), scheme) != 0) {
    SendStatus(client, "400 Bad Request", "");
    return;
  }
  if (!Authorized(request, config)) {
    SendStatus(client, "407 Proxy Authentication Required", "Proxy-Authenticate: Basic realm=\"kstool\"\r\n");
    return;
  }
  std::string rest = request.target.substr(scheme.size());
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? "/" : rest.substr(slash);

  std::string host;
  int port = 80;
  if (!SplitHostPort(authority, 80, &host, &port)) {
    SendStatus(client, "400 Bad Request", "");
    return;
  }
  std::string key = host;
  ks::LowerAscii(&key[0]);
  auto mapped = config.map.find(key);
  if (mapped != config.map.end() && !SplitHostPort(mapped->second, 80, &host, &port)) {
    SendStatus(client, "502 Bad Gateway", "");
    return;
  }
  SOCKET upstream = ConnectLoopback(host, port);
  if (upstream == INVALID_SOCKET) {
    SendStatus(client, "502 Bad Gateway", "");
    return;
  }
  std::string forward = request.method + " " + path + " HTTP/1.0\r\n";
  for (const auto& header : request.headers) {
    std::string name = header.first;
    ks::LowerAscii(&name[0]);
    if (name.compare(0, 6, "proxy-") == 0 || name == "connection" || name == "keep-alive") continue;
    forward += header.first + ": " + header.second + "\r\n";
  }
  forward += "Connection: close\r\n\r\n";
  if (SendAll(upstream, forward)) {
    std::string buffer(1 << 20, '\0');
    for (;;) {
      int got = recv(upstream, &buffer[0], static_cast<int>(buffer.size()), 0);
      if (got <= 0 || !SendAll(client, buffer.data(), static_cast<size_t>(got))) break;
    }
  }
  closesocket(upstream);
}

}  // namespace net
}  // namespace kstool
