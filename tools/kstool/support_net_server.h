#pragma once
// Small blocking Winsock server pieces shared by "kstool serve" in its account
// server and proxy roles: listening, reading a request head, sending, closing
// gracefully, and recording requests.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kstool {
namespace net {

struct Request {
  std::string head;     // request line and headers as received, blank line included
  std::string method;
  std::string target;   // as on the request line (origin or absolute form)
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string early_body;  // bytes after the blank line that arrived with the head
  // The value of the first header with this name (any case), or "".
  std::string Header(const char* name) const;
};

// Listens on address:port (port 0 picks a free one); *actual_port gets the
// port. INVALID_SOCKET on failure.
SOCKET Listen(const char* address, int port, int* actual_port);

// The next connection on a listener from Listen, as a blocking socket.
SOCKET Accept(SOCKET listener);

// Reads up to and including the blank line (at most 64 KiB). False when the
// peer closed first or sent something that is not a request.
bool ReadRequest(SOCKET socket, Request* request);

// The request's body of Content-Length bytes (at most `limit`), read on from
// what came with the head, each receive waiting at most `wait_ms`. False
// when the peer stops short, the length is missing or beyond the limit.
bool ReadBody(SOCKET socket, const Request& request, size_t limit, int wait_ms, std::string* body);

bool SendAll(SOCKET socket, const char* data, size_t length);
inline bool SendAll(SOCKET socket, const std::string& text) { return SendAll(socket, text.data(), text.size()); }

// Graceful end: no more sending, read what the peer still sends (briefly),
// then close, so the peer sees every byte and no reset.
void CloseGracefully(SOCKET socket);

// Appends request heads to a file (shared by all connection threads).
class RequestLog {
 public:
  void Open(const std::string& path) { path_ = path; }
  void Append(const std::string& head);

 private:
  std::string path_;
  std::mutex mutex_;
};

// "host", "host:port", "[v6]:port" -> host and port (default_port when none).
bool SplitHostPort(const std::string& text, int default_port, std::string* host, int* port);

}  // namespace net
}  // namespace kstool
