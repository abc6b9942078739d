#pragma once
// A loopback HTTP listener standing in for the error-report server: it keeps
// every request it receives and answers "200 OK". It can hold its answer until
// the client goes away, to keep a crashed program inside its report.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/handles_win.h"

struct ReceivedRequest {
  std::string request_line;
  std::string headers;  // everything between the request line and the empty line
  std::string body;
};

class FakeReportServer {
 public:
  explicit FakeReportServer(unsigned short port) : stop_(false), hold_answers_(false) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    // The crashed program of the test before may still be held by Wine's
    // debugger for a moment: give the port a few seconds to come free.
    for (int attempt = 0; attempt < 50 && !Listen(port); ++attempt) Sleep(200);
    if (listener_) accept_thread_ = std::thread([this] { AcceptLoop(); });
  }

  ~FakeReportServer() {
    stop_ = true;
    if (accept_thread_.joinable()) accept_thread_.join();
    for (std::thread& t : connection_threads_)
      if (t.joinable()) t.join();
    listener_.reset();
    WSACleanup();
  }

  bool listening() const { return listener_.valid(); }

  // The file written once a request has been read whole (empty: none).
  void SetMarkerPath(const std::string& path) { marker_path_ = path; }
  // Answers only once the client has closed its side (or the server stops).
  void HoldAnswers(bool hold) { hold_answers_ = hold; }

  std::vector<ReceivedRequest> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  bool Listen(unsigned short port) {
    listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener_) return false;
    // Programs the tests start inherit handles; they must not keep the port.
    SetHandleInformation(reinterpret_cast<HANDLE>(listener_.get()), HANDLE_FLAG_INHERIT, 0);
    BOOL exclusive = TRUE;
    setsockopt(listener_.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener_.get(), 8) == 0)
      return true;
    listener_.reset();
    return false;
  }

  void AcceptLoop() {
    while (!stop_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener_.get(), &readable);
      timeval wait = {0, 100000};
      if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept(listener_.get(), nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      connection_threads_.emplace_back([this, client] { Serve(client); });
    }
  }

  // Waits up to `ms` for data or the peer's close; false on time-out or stop.
  bool WaitReadable(SOCKET s, int ms) {
    for (int waited = 0; waited < ms && !stop_; waited += 100) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(s, &readable);
      timeval wait = {0, 100000};
      if (select(0, &readable, nullptr, nullptr, &wait) > 0) return true;
    }
    return false;
  }

  void Serve(SOCKET raw) {
    ks::UniqueSocket client(raw);
    std::string data;
    char buffer[65536];
    size_t header_end;
    while ((header_end = data.find("\r\n\r\n")) == std::string::npos) {
      if (!WaitReadable(client.get(), 30000)) return;
      int got = recv(client.get(), buffer, sizeof buffer, 0);
      if (got <= 0) return;
      data.append(buffer, static_cast<size_t>(got));
    }
    ReceivedRequest request;
    size_t line_end = data.find("\r\n");
    request.request_line = data.substr(0, line_end);
    request.headers = data.substr(line_end + 2, header_end - line_end - 2);
    size_t length = ContentLength(request.headers);
    request.body = data.substr(header_end + 4);
    while (request.body.size() < length) {
      if (!WaitReadable(client.get(), 30000)) break;
      int got = recv(client.get(), buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.body.append(buffer, static_cast<size_t>(got));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    if (!marker_path_.empty()) {
      FILE* marker = fopen(marker_path_.c_str(), "wb");
      if (marker != nullptr) fclose(marker);
    }
    if (hold_answers_) {
      while (WaitReadable(client.get(), 30000) ? recv(client.get(), buffer, sizeof buffer, 0) > 0 : !stop_) {
      }
    }
    static const char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
    send(client.get(), kAnswer, sizeof kAnswer - 1, 0);
  }

  static size_t ContentLength(const std::string& headers) {
    std::string lower = headers;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("content-length:");
    if (at == std::string::npos) return 0;
    return static_cast<size_t>(strtoul(lower.c_str() + at + 15, nullptr, 10));
  }

  ks::UniqueSocket listener_;
  std::atomic<bool> stop_;
  std::atomic<bool> hold_answers_;
  std::string marker_path_;
  std::thread accept_thread_;
  std::vector<std::thread> connection_threads_;
  std::mutex mutex_;
  std::vector<ReceivedRequest> requests_;
};
