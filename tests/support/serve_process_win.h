#pragma once
// "kstool serve" (the local account server, or with --proxy a forward proxy)
// as a child process of a test, and a loopback port nobody listens on.
#include <windows.h>

#include <string>
#include <vector>

#include "support/win_test_util_win.h"

namespace kstest {

class ServeProcess {
 public:
  // Starts kstool serve --port 0 with a ready file and a request log, plus
  // `args`; waits until it listens.
  explicit ServeProcess(const std::vector<std::string>& args = {});
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Request lines and headers received so far.
  std::string Requests() const;
  std::vector<std::string> RequestLines() const;

 private:
  TempDir dir_;
  ks::UniqueHandle process_;
  int port_;
};

// A loopback port that refuses connections.
int RefusedPort();

}  // namespace kstest
