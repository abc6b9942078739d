// Finding an installed client and comparing its version.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "setup/setup_handler_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

class VersionCheck : public ::testing::Test {
 protected:
  VersionCheck() {
    ks::CopyText(handler.m_sUserApplicationDirectory, 512, (root.path() + "\\appdata").c_str());
    ks::CopyText(handler.m_sTempDirectory, 512, (root.path() + "\\temp").c_str());
    ks::CopyText(handler.m_sCurrentDirectory, 512, (root.path() + "\\current").c_str());
    ks::CopyText(handler.m_sVersion, 512, "5.2.1");
    for (const char* d : {"\\appdata", "\\temp", "\\current"}) CreateDirectoryA((root.path() + d).c_str(), nullptr);
  }

  // Writes a version file below `base` at the client's usual place.
  std::string Install(const std::string& base, const std::string& content, bool client_level = true) {
    std::string dir = root.path() + base;
    if (client_level) {
      dir += "\\Kestrelon";
      CreateDirectoryA(dir.c_str(), nullptr);
    }
    dir += "\\Kestrelon";
    CreateDirectoryA(dir.c_str(), nullptr);
    kstest::WriteFile(dir + "\\version.txt", content);
    return dir;
  }

  kstest::TempDir root{"version"};
  SetupHandler handler;
  LogCapture log;
};

TEST_F(VersionCheck, FirstWordEqualToTheWantedVersionCounts) {
  std::string dir = Install("\\appdata", "5.2.1 built on Monday\r\n");
  handler.CheckIsVersionIsSynced();
  EXPECT_TRUE(handler.m_bIsVersionSynced);
  EXPECT_EQ(std::string(handler.m_sClientDirectory), dir);
  EXPECT_TRUE(log.Has("sExistingVersion is 5.2.1, m_sClientDirectory = " + dir)) << log.Dump();
}

TEST_F(VersionCheck, AnyOtherWordDoesNotCount) {
  Install("\\appdata", "5.2.1a");
  handler.CheckIsVersionIsSynced();
  EXPECT_FALSE(handler.m_bIsVersionSynced);
  Install("\\appdata", "5.2.");
  handler.CheckIsVersionIsSynced();
  EXPECT_FALSE(handler.m_bIsVersionSynced);
}

TEST_F(VersionCheck, AWordLongerThanAnyVersionIsReadOnlyToItsLimit) {
  // The wanted version followed by 4 MiB without a space: one word, no match.
  Install("\\appdata", "5.2.1" + std::string(4 << 20, 'x'));
  handler.CheckIsVersionIsSynced();
  EXPECT_FALSE(handler.m_bIsVersionSynced);
  EXPECT_TRUE(log.Has("sExistingVersion is , m_sClientDirectory = " + root.path() + "\\appdata\\Kestrelon\\Kestrelon"))
      << log.Dump();
}

TEST_F(VersionCheck, FirstCandidateFoundWinsEvenWhenItsVersionDiffers) {
  Install("\\temp", "4.0");
  Install("\\current", "5.2.1");
  handler.CheckIsVersionIsSynced();
  EXPECT_FALSE(handler.m_bIsVersionSynced);
  EXPECT_EQ(std::string(handler.m_sClientDirectory), root.path() + "\\temp\\Kestrelon\\Kestrelon");
}

TEST_F(VersionCheck, OnlyTheProductFolderBesideTheStarter) {
  std::string dir = Install("\\current", "5.2.1", false);
  handler.CheckIsVersionIsSynced();
  EXPECT_TRUE(handler.m_bIsVersionSynced);
  EXPECT_EQ(std::string(handler.m_sClientDirectory), root.path() + "\\current\\Kestrelon");
  EXPECT_EQ(log.Count("sVersionFileName is " + root.path() + "\\current\\Kestrelon\\version.txt"), 1);
}

TEST_F(VersionCheck, NoInstallationAnywhere) {
  handler.m_bIsVersionSynced = true;
  handler.CheckIsVersionIsSynced();
  EXPECT_FALSE(handler.m_bIsVersionSynced);
  EXPECT_TRUE(log.Has("Failed to find any KS installation"));
  EXPECT_EQ(log.Records().size(), 5u);  // four candidates tried, then the failure
}

}  // namespace
