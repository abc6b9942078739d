#pragma once
// The forward-proxy role of "kstool serve": absolute-URI requests are relayed
// to the host they name (after the --map rewrites), optionally only with the
// right Proxy-Authorization. Only mapped hosts and the loopback address are
// ever connected to.
#include <map>
#include <string>

#include "support_net_server.h"

namespace kstool {
namespace net {

struct ProxyConfig {
  std::map<std::string, std::string> map;  // lower-case host name -> "host:port"
  std::string credentials;                 // "user:password"; empty: no check
};

// Answers one request on `client` (and leaves the socket to the caller).
void HandleProxyRequest(SOCKET client, const Request& request, const ProxyConfig& config);

}  // namespace net
}  // namespace kstool
