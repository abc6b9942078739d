#pragma once
// The plain HTTP/1.0 request of the socket fetch, byte for byte.
#include <string>

namespace ksnet {

// "GET <path> HTTP/1.0" and the fixed header lines; an empty path asks for
// "/". The Host line names the parsed host and the port actually connected
// to, also when it is 80. The path goes out exactly as given.
// `extra_lines` (each ended by CR LF) go after the fixed lines: a resumed
// download's Range and If-Range.
std::string BuildSocketRequest(const char* host, int port, const char* path,
                               const std::string& extra_lines = std::string());

}  // namespace ksnet
