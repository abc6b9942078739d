#pragma once
// Fixtures for the network tests: the prefix's Internet settings (restored
// afterwards), plus the shared "kstool serve" process and refused port.
#include <windows.h>

#include <string>
#include <vector>

#include "fixtures/serve_process_win.h"
#include "fixtures/win_test_util_win.h"

namespace nettest {

// A host name this machine cannot resolve: direct access to it fails, a
// proxy that maps it to the local server gets through.
constexpr const char kUnresolvableHost[] = "kestrel-test.invalid";

using kstest::RefusedPort;
using kstest::ServeProcess;

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

// Writes text to a file in a folder and gives its path.
std::string WriteTextFile(const kstest::TempDir& dir, const std::string& name, const std::string& text);

}  // namespace nettest
