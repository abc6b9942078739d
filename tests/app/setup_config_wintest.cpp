// Parameter files beside the starter and the command parameter file a
// downloader or the installed client leaves for it.
#include <gtest/gtest.h>

#include <string>

#include "app/app_test_util_win.h"
#include "app/parameter_cipher.h"
#include "setup/setup_handler_win.h"
#include "fixtures/log_capture.h"

namespace {

using kstest::TempFolderOverride;

const char kSettings[] =
    "<__AccountServerIP__>cfg.kestrelon.test</__AccountServerIP__>\n<__Version__>6.1</__Version__>\n"
    "<__Role__>attendee</__Role__>\n";

TEST(LoadSetupConfigure, EncipheredFileIsReadAndBothArchivesMarkThemAvailable) {
  apptest::InFolder folder("kscfg");
  ASSERT_TRUE(kstest::WriteFile(folder.File("starter.cfg"), Utility::EncodeParameter(kSettings) + "\r\n"));
  ASSERT_TRUE(kstest::WriteFile(folder.File("PCClient"), "x"));
  {
    SetupHandler handler;
    char settings[SetupHandler::kSettingsTextSize];
    EXPECT_TRUE(handler.LoadSetupConfigure(settings));
    EXPECT_STREQ(settings, kSettings);
    EXPECT_FALSE(handler.m_bClientFilesAvailable);  // one archive is not enough
  }
  CreateDirectoryW(Widen(folder.File("PCClientAccessory").c_str()).c_str(), nullptr);
  LogCapture log;
  SetupHandler handler;
  char settings[SetupHandler::kSettingsTextSize];
  EXPECT_TRUE(handler.LoadSetupConfigure(settings));
  EXPECT_TRUE(handler.m_bClientFilesAvailable);
  EXPECT_TRUE(log.Has("both client files are available"));
  EXPECT_TRUE(log.Has("Loaded starter.cfg successfully"));
}

TEST(LoadSetupConfigure, PlainTwinIsUsedUnchangedWhenTheCfgIsMissing) {
  apptest::InFolder folder("kscfg");
  ASSERT_TRUE(kstest::WriteFile(folder.File("starter.txt"), "<__Role__>host</__Role__>\r\n<__X__>y</__X__>\r\n"));
  ASSERT_TRUE(kstest::WriteFile(folder.File("PCClient"), "x"));
  ASSERT_TRUE(kstest::WriteFile(folder.File("PCClientAccessory"), "x"));
  SetupHandler handler;
  char settings[SetupHandler::kSettingsTextSize];
  EXPECT_TRUE(handler.LoadSetupConfigure(settings));
  EXPECT_STREQ(settings, "<__Role__>host</__Role__>\n<__X__>y</__X__>\n");
  EXPECT_FALSE(handler.m_bClientFilesAvailable);
}

TEST(LoadSetupConfigure, OversizedCfgIsRefusedAndThePlainTwinTried) {
  apptest::InFolder folder("kscfg");
  ASSERT_TRUE(kstest::WriteFile(folder.File("starter.cfg"), Utility::EncodeParameter(std::string(5000, 'p'))));
  ASSERT_TRUE(kstest::WriteFile(folder.File("starter.txt"), "<__Role__>plain</__Role__>"));
  LogCapture log;
  SetupHandler handler;
  char settings[SetupHandler::kSettingsTextSize];
  EXPECT_TRUE(handler.LoadSetupConfigure(settings));
  EXPECT_STREQ(settings, "<__Role__>plain</__Role__>");
  EXPECT_TRUE(log.HasFragment("Refused starter.cfg")) << log.Dump();
}

TEST(LoadSetupConfigure, NothingOnDiskDependsOnTheSwitches) {
  apptest::InFolder folder("kscfg");
  {
    LogCapture log;
    SetupHandler handler;
    char settings[SetupHandler::kSettingsTextSize] = "junk";
    EXPECT_FALSE(handler.LoadSetupConfigure(settings));
    EXPECT_STREQ(settings, "");
    EXPECT_TRUE(log.Has("Failed to open sFileName starter.cfg"));
    EXPECT_TRUE(log.Has("Failed to open sFileName starter.txt"));
  }
  for (const char* line : {"--called_by_client_to_sync", "x --called_by_downloader y"}) {
    LogCapture log;
    SetupHandler handler;
    ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, line);
    char settings[SetupHandler::kSettingsTextSize] = "junk";
    EXPECT_TRUE(handler.LoadSetupConfigure(settings)) << line;
    EXPECT_STREQ(settings, "");
    EXPECT_TRUE(log.Has("Delay to load setting"));
  }
}

std::string CommandParameterText() {
  return "<__SetupDirectory__>C:\\setup</__SetupDirectory__>\n<__NeedToRemoveSetup__>Y</__NeedToRemoveSetup__>\n" +
         std::string("<__AccountServerIP__>rsp.kestrelon.test</__AccountServerIP__>\n"
                     "<__ClientName__>Quorrel</__ClientName__>\n<__Version__>7.0</__Version__>\n"
                     "<__Role__>host</__Role__>\n");
}

TEST(InitializeSetup, ACommandParameterFileWrittenAsTextDoesNotGainCarriageReturns) {
  kstest::TempDir temp("kstmp");
  TempFolderOverride override_temp(temp.path());
  std::string on_disk = CommandParameterText();
  for (size_t at = on_disk.find('\n'); at != std::string::npos; at = on_disk.find('\n', at + 2))
    on_disk.insert(at, "\r");
  ASSERT_TRUE(kstest::WriteFile(temp.File("rsp1024hcmd.txt"), on_disk));
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_downloader");
  ASSERT_TRUE(handler.InitializeSetup());
  EXPECT_EQ(std::string(handler.m_sSetting), CommandParameterText());
}

TEST(InitializeSetup, WithoutSwitchesOnlyTheFoldersAreFound) {
  kstest::TempDir temp("kstmp");
  TempFolderOverride override_temp(temp.path());
  SetupHandler handler;
  EXPECT_TRUE(handler.InitializeSetup());
  EXPECT_FALSE(handler.m_bCalledByClientToSyncVersion);
  EXPECT_STREQ(handler.m_sCurrentFile, "tests_app.exe");
  EXPECT_EQ(std::string(handler.m_sCurrentDirectory), kstest::BuildDir() + "\\tests");
  EXPECT_EQ(std::string(handler.m_sTempDirectory), temp.path());
  EXPECT_STREQ(handler.m_sSetting, "");
}

TEST(InitializeSetup, DownloaderSwitchReadsTheFileInTheTemporaryFolder) {
  kstest::TempDir temp("kstmp");
  TempFolderOverride override_temp(temp.path());
  ASSERT_TRUE(kstest::WriteFile(temp.File("rsp1024hcmd.txt"), CommandParameterText()));
  // Both switches: the downloader's wins.
  LogCapture log;
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine,
               "--called_by_client_to_sync --called_by_downloader");
  ks::CopyText(handler.m_sVersion, sizeof handler.m_sVersion, "1.0");
  handler.m_bIsVersionSynced = true;
  ASSERT_TRUE(handler.InitializeSetup()) << log.Dump();
  EXPECT_TRUE(handler.m_bCalledByClientToSyncVersion);
  EXPECT_EQ(std::string(handler.m_sSetting), CommandParameterText());
  EXPECT_STREQ(handler.m_sAccountServerName, "rsp.kestrelon.test");
  EXPECT_STREQ(handler.m_sClientName, "Quorrel");
  EXPECT_STREQ(handler.m_sVersion, "");
  EXPECT_FALSE(handler.m_bIsVersionSynced);
  EXPECT_EQ(std::string(handler.m_sClientDirectory), std::string(handler.m_sCurrentDirectory) + "\\Kestrelon");
  EXPECT_TRUE(log.Has("Read from sCommandParameterFile " + temp.File("rsp1024hcmd.txt"))) << log.Dump();
}

TEST(InitializeSetup, MissingCommandParameterFileFailsTheInitialisation) {
  kstest::TempDir temp("kstmp");
  TempFolderOverride override_temp(temp.path());
  LogCapture log;
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_downloader");
  EXPECT_FALSE(handler.InitializeSetup());
  EXPECT_TRUE(log.Has("failed to load " + temp.File("rsp1024hcmd.txt"))) << log.Dump();
}

TEST(InitializeSetup, ClientSwitchReadsBesideTheStarterAndRefinesFolders) {
  apptest::ClientFolder client;
  ASSERT_TRUE(kstest::WriteFile(client.File("rsp1024hcmd.txt"), CommandParameterText()));
  ASSERT_TRUE(kstest::WriteFile(client.File("KSServiceCache.txt"),
                                "<__DESKTOP_DIRECTORY__>D:\\Desk top</__DESKTOP_DIRECTORY__>\r\n"));
  LogCapture log;
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_client_to_sync");
  ASSERT_TRUE(handler.InitializeSetup()) << log.Dump();
  EXPECT_STREQ(handler.m_sClientName, "Quorrel");
  EXPECT_STREQ(handler.m_sDesktopDirectory, "D:\\Desk top");
  EXPECT_STREQ(handler.m_sUserApplicationDirectory, "");
  EXPECT_STREQ(handler.m_sStartMenuDirectory, "");
  EXPECT_TRUE(log.Has("sCommandParameterFile = " + client.File("rsp1024hcmd.txt")));
  EXPECT_TRUE(log.Has("Read from sCommandParameterFile = " + client.File("rsp1024hcmd.txt")));
  EXPECT_TRUE(log.Has("Refine directory by " + client.File("KSServiceCache.txt")));
}

TEST(InitializeSetup, CommandParameterFileTooLargeToKeepFails) {
  apptest::ClientFolder client;
  ASSERT_TRUE(kstest::WriteFile(client.File("rsp1024hcmd.txt"), CommandParameterText() + std::string(3000, 'p')));
  SetupHandler handler;
  ks::CopyText(handler.m_sCommandLine, sizeof handler.m_sCommandLine, "--called_by_client_to_sync");
  EXPECT_FALSE(handler.InitializeSetup());
  EXPECT_STREQ(handler.m_sSetting, "");
  EXPECT_STREQ(handler.m_sClientName, "Kestrelon");
}

}  // namespace
