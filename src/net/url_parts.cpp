#include "net/url_parts.h"

#include <cstring>

#include "base/text.h"

namespace Utility {

bool ParseServerAddress(const char* url, char* host, size_t host_capacity, int* port, char* path,
                        size_t path_capacity) {
  if (host != nullptr && host_capacity > 0) host[0] = '\0';
  if (path != nullptr && path_capacity > 0) path[0] = '\0';
  if (url == nullptr || host == nullptr || path == nullptr || port == nullptr) return false;
  *port = 80;

  const char* work = url;
  const char* slashes = strstr(url, "//");
  if (slashes != nullptr) {
    size_t scheme_length = static_cast<size_t>(slashes - url);
    if (scheme_length > ksnet::kSchemeLimit) return false;
    std::string scheme(url, scheme_length);
    ks::LowerAscii(&scheme[0]);
    if (scheme == "https:") *port = 443;
    work = slashes + 2;
  }
  size_t work_length = strlen(work);
  const char* space = strchr(work, ' ');
  if (space != nullptr) work_length = static_cast<size_t>(space - work);
  if (work_length >= ksnet::kUrlWorkLimit) return false;
  std::string rest(work, work_length);

  std::string path_text;
  size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    path_text = rest.substr(slash);
    rest.resize(slash);
  }
  size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    // atoi-style reading ("8080abc" is 8080); a port outside 1..65535 can
    // never be connected to, so it fails like a port of 0.
    int explicit_port = ks::ParseInt(rest.c_str() + colon + 1);
    if (explicit_port < 1 || explicit_port > 65535) return false;
    *port = explicit_port;
    rest.resize(colon);
  }
  if (!ks::CopyText(host, host_capacity, rest.c_str()) || !ks::CopyText(path, path_capacity, path_text.c_str())) {
    host[0] = '\0';
    path[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace Utility

namespace ksnet {

std::string LogFormOfURL(const char* url) {
  if (url == nullptr) return std::string();
  std::string text(url);
  size_t cut = text.find('?');
  if (cut == std::string::npos) cut = text.find("%3F");
  if (cut != std::string::npos) text.resize(cut);
  if (text.size() > kLogFormLimit) text.resize(kLogFormLimit);
  return text;
}

bool AddCacheBuster(const char* url, long seconds, std::string* out) {
  if (url == nullptr || out == nullptr) return false;
  std::string result = ks::Format(strchr(url, '?') != nullptr ? "%s&rdm=%ld" : "%s?rdm=%ld", url, seconds);
  if (result.size() >= kRequestUrlLimit) return false;
  out->swap(result);
  return true;
}

std::string SocketFetchURL(const char* host, int port, const char* path, int* port_used) {
  if (port == 443 || port == 80) {
    if (port_used != nullptr) *port_used = 80;
    return ks::Format("http://%s%s", host ? host : "", path ? path : "");
  }
  if (port_used != nullptr) *port_used = port;
  return ks::Format("http://%s:%d%s", host ? host : "", port, path ? path : "");
}

}  // namespace ksnet
