#pragma once
// What the proxy script is asked about: the URL and the scheme-and-host text.
#include <string>

namespace ksnet {

struct DetectTarget {
  std::string query_url;  // "http://host:port/path" style
  std::string host_text;  // "http://host:port" style, handed to the script as host
  bool maker_domain = false;
};

// Port 80: "http://%s%s" / "http://%s"; 443: "https://..."; any other port
// carries ":%d". For a host on one of the maker domains the question is
// asked about the probe site instead (the maker's servers are taken to sit
// behind the same proxy as that public site).
DetectTarget BuildDetectTarget(const char* host, int port, const char* url_path);

}  // namespace ksnet
