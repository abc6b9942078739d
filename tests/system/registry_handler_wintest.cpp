#include "system/registry_handler_win.h"

#include <gtest/gtest.h>

#include <string>

#include "app/pc_utility_win.h"
#include "base/wide_text.h"
#include "fixtures/log_capture.h"

namespace {

// A key of this test process alone below HKEY_CURRENT_USER, removed afterwards.
class ScratchKey {
 public:
  ScratchKey() : path_("Software\\KsRegistryTest" + std::to_string(GetCurrentProcessId())) { Remove(); }
  ~ScratchKey() { Remove(); }
  const std::string& path() const { return path_; }

 private:
  void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, Widen(path_.c_str()).c_str()); }
  std::string path_;
};

TEST(RegistryHandler, WritesTextWithItsZeroAndNumbersAsDwords) {
  ScratchKey key;
  RegistryHandler registry;
  ASSERT_TRUE(registry.AddRegistryKey(key.path().c_str()));
  ASSERT_TRUE(registry.AddRegistryKey(key.path().c_str()));  // an existing key is reused
  EXPECT_TRUE(registry.AddRegistryValue(key.path().c_str(), "", "Default ä", REG_SZ));
  EXPECT_TRUE(registry.AddRegistryValue(key.path().c_str(), "Number", "42abc", REG_DWORD));

  std::wstring wide_key = Widen(key.path().c_str());
  wchar_t text[64];
  DWORD type = 0;
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, wide_key.c_str(), nullptr, RRF_RT_ANY, &type, text, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, (wcslen(L"Default \u00e4") + 1) * sizeof(wchar_t));
  EXPECT_EQ(Narrow(text), "Default ä");

  DWORD number = 0;
  size = sizeof number;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, wide_key.c_str(), L"Number", RRF_RT_REG_DWORD, nullptr, &number, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 42u);
}

TEST(RegistryHandler, ValueForAMissingKeyFailsWithItsReason) {
  ScratchKey key;
  LogCapture log;
  RegistryHandler registry;
  EXPECT_FALSE(registry.AddRegistryValue((key.path() + "\\missing").c_str(), "N", "V", REG_SZ));
  EXPECT_TRUE(log.HasFragment("RegOpenKeyEx() failed. iErrorCode = 2, Error = ")) << log.Dump();
  EXPECT_TRUE(log.HasFragment("sName = N, sValue = V"));
}

TEST(RegistryHandler, TextsTooLongForTheRegistryCallsAreRefused) {
  ScratchKey key;
  RegistryHandler registry;
  ASSERT_TRUE(registry.AddRegistryKey(key.path().c_str()));
  EXPECT_FALSE(registry.AddRegistryKey((key.path() + "\\" + std::string(600, 'k')).c_str()));
  EXPECT_FALSE(registry.AddRegistryValue(key.path().c_str(), "Long", std::string(600, 'v').c_str(), REG_SZ));
  EXPECT_TRUE(registry.AddRegistryValue(key.path().c_str(), "Fits", std::string(511, 'v').c_str(), REG_SZ));
}

TEST(RegisterStarter, TwiceLeavesTheSameFourValues) {
  std::string protocol = "KsRegister" + std::to_string(GetCurrentProcessId());
  std::wstring class_key = Widen(("Software\\Classes\\" + protocol).c_str());
  std::wstring execute_key = Widen(("Software\\Microsoft\\Internet Explorer\\ProtocolExecute\\" + protocol).c_str());
  LogCapture log;
  EXPECT_TRUE(PCUtility::RegisterStarter("C:\\Program Files\\Old\\KsStarter.exe", protocol.c_str()));
  EXPECT_TRUE(PCUtility::RegisterStarter("C:\\Program Files\\New Place\\KsStarter.exe", protocol.c_str()));
  EXPECT_EQ(log.Count("sKey = Software\\Classes\\" + protocol), 2);

  wchar_t text[512];
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (class_key + L"\\shell\\open\\command").c_str(), nullptr, RRF_RT_REG_SZ,
                         nullptr, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(Narrow(text), "\"C:\\Program Files\\New Place\\KsStarter.exe\" %1");
  size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, class_key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(Narrow(text), "URL:" + protocol + " Starter");
  size = sizeof text;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, class_key.c_str(), L"URL Protocol", RRF_RT_REG_SZ, nullptr, text, &size),
            ERROR_SUCCESS);
  DWORD warn = 1;
  size = sizeof warn;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, execute_key.c_str(), L"WarnOnOpen", RRF_RT_REG_DWORD, nullptr, &warn,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(warn, 0u);
  RegDeleteTreeW(HKEY_CURRENT_USER, class_key.c_str());
  RegDeleteTreeW(HKEY_CURRENT_USER, execute_key.c_str());
}

}  // namespace
