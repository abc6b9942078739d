#pragma once
// URL texts the network subsystem builds and takes apart: the socket fetch's
// URL split, the log form of a URL and the cache buster.
#include <cstddef>
#include <string>

namespace Utility {

// Splits "scheme://host:port/path?query" into host, port and path. The port
// starts at 80, or 443 for an "https:" scheme (any case); an explicit port
// after ':' wins. The work text is cut at its first space. False when an
// explicit port is not a number from 1 to 65535, when the scheme is longer
// than 31 characters, or when a part does not fit below 4096 bytes (or its
// buffer); the outputs are then empty.
bool ParseServerAddress(const char* url, char* host, size_t host_capacity, int* port, char* path,
                        size_t path_capacity);

}  // namespace Utility

namespace ksnet {

constexpr size_t kUrlWorkLimit = 4096;     // host/path/work text stay below this
constexpr size_t kSchemeLimit = 31;        // "https:" and friends
constexpr size_t kLogFormLimit = 511;      // URLs in log lines
constexpr size_t kRequestUrlLimit = 4096;  // URL with the cache buster

// The URL as log lines show it: cut before the first "?", or else before the
// first "%3F", so queries (which may carry meeting data) never reach the log.
// At most 511 bytes.
std::string LogFormOfURL(const char* url);

// "%s&rdm=%ld" when the URL holds a "?", else "%s?rdm=%ld". False when the
// result would not fit kRequestUrlLimit bytes with its zero byte.
bool AddCacheBuster(const char* url, long seconds, std::string* out);

// The URL the socket fallback fetches: "http://%s%s" for ports 80 and 443
// (the fallback never speaks TLS, so 443 becomes 80), else "http://%s:%d%s".
// *port_used receives the port actually asked for.
std::string SocketFetchURL(const char* host, int port, const char* path, int* port_used);

}  // namespace ksnet
