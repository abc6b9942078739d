#pragma once
// Fixtures for the network tests: "kstool serve" as a child process, the
// prefix's Internet settings (restored afterwards), and a port nobody
// listens on.
#include <windows.h>

#include <string>
#include <vector>

#include "support/win_test_util_win.h"

namespace nettest {

// A host name this machine cannot resolve: direct access to it fails, a
// proxy that maps it to the local server gets through.
constexpr const char kUnresolvableHost[] = "kestrel-test.invalid";

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
  kstest::TempDir dir_;
  HANDLE process_;
  int port_;
};

// Sets values under HKCU\...\Internet Settings of the test prefix and puts
// the previous values back on destruction.
class InternetSettings {
 public:
  InternetSettings();
  ~InternetSettings();
  InternetSettings(const InternetSettings&) = delete;
  InternetSettings& operator=(const InternetSettings&) = delete;

  void SetDword(const wchar_t* name, DWORD value);
  void SetText(const wchar_t* name, const std::string& value);
  void Remove(const wchar_t* name);

 private:
  struct Saved {
    std::wstring name;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
  };
  void Save(const wchar_t* name);
  HKEY key_;
  std::vector<Saved> saved_;
};

// A loopback port that refuses connections.
int RefusedPort();

// Writes text to a file in a folder and gives its path.
std::string WriteTextFile(const kstest::TempDir& dir, const std::string& name, const std::string& text);

}  // namespace nettest
