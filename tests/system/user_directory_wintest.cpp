#include "system/user_directory_win.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/wide_text.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"
#include "system/user_account_win.h"

namespace {

struct Folders {
  char current_directory[512], current_file[512], application[512], temp[512], start_menu[512], desktop[512],
      documents[512];
  bool accessible = false;
  bool system_user = true;
};

Folders Get(const char* product) {
  Folders f;
  Utility::GetUserDirectory(product, f.current_directory, f.current_file, f.application, f.temp, f.start_menu,
                            f.desktop, &f.accessible, &f.system_user, f.documents);
  return f;
}

std::string Known(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = Narrow(path);
  CoTaskMemFree(path);
  return result;
}

using kstest::EndsWith;

// The account name Wine reports, for the length of one test.
class UserNameOverride {
 public:
  explicit UserNameOverride(const wchar_t* name)
      : wine_user_(L"WINEUSERNAME", Narrow(name)), user_(L"USER", Narrow(name)) {}

 private:
  kstest::ScopedEnvironment wine_user_;
  kstest::ScopedEnvironment user_;
};

TEST(GetUserDirectory, OrdinaryUserGetsAllNineResults) {
  LogCapture log;
  Folders f = Get("Linvora");
  EXPECT_EQ(std::string(f.current_directory), kstest::BuildDir() + "\\tests");
  EXPECT_STREQ(f.current_file, "tests_system.exe");
  EXPECT_EQ(std::string(f.application), Known(FOLDERID_RoamingAppData));
  EXPECT_TRUE(f.accessible);
  EXPECT_FALSE(f.system_user);
  EXPECT_EQ(std::string(f.start_menu), Known(FOLDERID_Programs) + "\\Kestrelon");
  EXPECT_EQ(std::string(f.documents), Known(FOLDERID_Documents));
  EXPECT_FALSE(std::string(f.desktop).empty());
  EXPECT_FALSE(std::string(f.temp).empty());
  EXPECT_FALSE(EndsWith(f.temp, "\\"));
  EXPECT_FALSE(EndsWith(f.application, "\\"));
  EXPECT_TRUE(log.Has("bSystemUser = false, sUserApplicationDirectory = " + std::string(f.application)));
  EXPECT_TRUE(log.Has("bUserAppDirAccessable = true"));
  EXPECT_TRUE(log.Has("bSystemUser = false"));
  EXPECT_TRUE(log.Has("sStartMenuDirectory = " + std::string(f.start_menu)));

  EXPECT_EQ(std::string(Get("").start_menu), Known(FOLDERID_Programs) + "\\Kestrelon");
  EXPECT_EQ(std::string(Get("Fennimo").start_menu), Known(FOLDERID_Programs) + "\\Fennimo");
}

TEST(GetUserDirectory, TemporaryFolderLosesItsTrailingBackslash) {
  kstest::TempDir dir("kstmp");
  std::wstring saved(1024, L'\0');
  saved.resize(GetEnvironmentVariableW(L"TMP", &saved[0], 1024));
  SetEnvironmentVariableW(L"TMP", Widen((dir.path() + "\\").c_str()).c_str());
  Folders f = Get("Kestrelon");
  SetEnvironmentVariableW(L"TMP", saved.c_str());
  EXPECT_EQ(std::string(f.temp), dir.path());
}

TEST(GetUserDirectory, SystemAccountUsesTheStarterFolder) {
  UserNameOverride system(L"system");
  EXPECT_TRUE(IsSystemUser());
  LogCapture log;
  Folders f = Get("Kestrelon");
  EXPECT_TRUE(f.system_user);
  EXPECT_EQ(std::string(f.application), std::string(f.current_directory));
  EXPECT_TRUE(log.Has("bSystemUser = true, sUserApplicationDirectory = " + std::string(f.current_directory)));
  EXPECT_TRUE(log.Has("bSystemUser = true"));
}

TEST(GetUserDirectory, GardoloUsesTheSharedFolders) {
  ASSERT_TRUE(IsVistaOrLater());
  std::string common_documents = Known(FOLDERID_PublicDocuments);
  ASSERT_NE(common_documents.rfind('\\'), std::string::npos);
  LogCapture log;
  Folders f = Get("Gardolo");
  EXPECT_EQ(std::string(f.application), common_documents.substr(0, common_documents.rfind('\\')));
  EXPECT_EQ(std::string(f.start_menu), Known(FOLDERID_CommonPrograms) + "\\Gardolo");
  EXPECT_TRUE(log.Has("from CSIDL_COMMON_DOCUMENTS, sUserApplicationDirectory = " + std::string(f.application)));
}

TEST(UserAccount, SystemNameTestAndVersionTests) {
  EXPECT_FALSE(IsSystemUser());
  {
    UserNameOverride system(L"SYSTEM");
    EXPECT_TRUE(IsSystemUser());
  }
  {
    UserNameOverride other(L"systemx");
    EXPECT_FALSE(IsSystemUser());
  }
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  EXPECT_EQ(IsVistaOrLater(), version.dwMajorVersion > 5);
  EXPECT_EQ(IsWindowsXP(), version.dwMajorVersion == 5 && version.dwMinorVersion == 1);
}

TEST(UserAccount, AdministratorTestReadsTheTokenGroups) {
  LogCapture log;
  bool admin = Utility::IsUserAdmin();
  // Whatever the account, the answer comes from the Administrators group's
  // state in the token, and is logged when the group is there.
  bool enabled = log.Has("The group SID is enabled.\n");
  bool deny_only = log.Has("The group SID is a deny-only SID.\n");
  EXPECT_EQ(admin, enabled || deny_only) << log.Dump();
  EXPECT_FALSE(log.HasFragment("Error")) << log.Dump();
}

}  // namespace
