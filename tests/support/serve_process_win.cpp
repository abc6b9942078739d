#include "support/serve_process_win.h"

#include <winsock2.h>

#include <cstdlib>

namespace kstest {

ServeProcess::ServeProcess(const std::vector<std::string>& args) : dir_("ksserve"), port_(0) {
  std::string ready = dir_.File("ready.txt");
  std::string command = Quote(KstoolPath()) + " serve --port 0 --ready-file \"" + ready +
                        "\" --request-log \"" + dir_.File("requests.log") + "\" --exit-after-seconds 900";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  process_ = StartProcess(command, std::string(), CREATE_NO_WINDOW);
  if (!process_) return;
  for (int i = 0; i < 400 && port_ == 0; ++i) {
    std::string text;
    if (ReadFile(ready, &text)) port_ = atoi(text.c_str());
    if (port_ == 0) {
      if (WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) break;  // it gave up
    }
  }
}

ServeProcess::~ServeProcess() {
  if (process_) {
    TerminateProcess(process_.get(), 0);
    WaitForSingleObject(process_.get(), 5000);
  }
}

std::string ServeProcess::Requests() const { return ReadFileOrEmpty(dir_.File("requests.log")); }

std::vector<std::string> ServeProcess::RequestLines() const {
  std::vector<std::string> lines;
  std::string all = Requests();
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(all.substr(start, end - start));
    size_t head_end = all.find("\r\n\r\n", start);
    if (head_end == std::string::npos) break;
    start = head_end + 4;
  }
  return lines;
}

int RefusedPort() {
  WSADATA data;  // the calling test program may not have started the socket library
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
  int length = sizeof local;
  getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
  closesocket(s);
  WSACleanup();
  return ntohs(local.sin_port);
}

}  // namespace kstest
