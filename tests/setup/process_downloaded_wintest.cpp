// Processing the client package: the downloaded bytes saved and unpacked (with
// the fallback next to the starter), the local archives, the setup lines put
// in front of the settings text, and the user-facing failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/run_failure.h"
#include "base/wide_text.h"
#include "package/package_writer.h"
#include "package/zlibpp_win.h"
#include "setup/setup_folder_lock_win.h"
#include "setup/setup_downloader_win.h"
#include "setup/setup_handler_win.h"
#include "setup/setup_process_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

namespace {

std::vector<std::string> g_messages;
void RecordMessage(const char* text) { g_messages.push_back(text); }

// Stopping the client is tested on its own; here it is only counted.
class Handler : public SetupHandler {
 public:
  void StopProcess() override { ++stops; }
  int stops = 0;
};

using kstest::MakeDirectory;

const char kSettings[] = "<__AccountServer__>as.example</__AccountServer__><__MeetingID__>77</__MeetingID__>";

class ProcessDownloadedClient : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_box_ = g_pShowSetupMessage;
    g_pShowSetupMessage = &RecordMessage;
    g_messages.clear();
    ks::ResetRunFailure();
    temp_ = dir_.File("temp");
    current_ = dir_.File("client\\starter");
    MakeDirectory(temp_);
    MakeDirectory(dir_.File("client"));
    MakeDirectory(current_);
    strcpy(handler_.m_sTempDirectory, temp_.c_str());
    strcpy(handler_.m_sCurrentDirectory, current_.c_str());
    strcpy(handler_.m_sCurrentFile, "KestrelonStarter.exe");
    strcpy(handler_.m_sSetting, kSettings);
    ASSERT_TRUE(package::AppendFile(&package_, "KSInstaller.exe", "MZ installer"));
    ASSERT_TRUE(package::AppendFile(&package_, "bin\\core.dll", std::string(50000, 'c')));
  }
  void TearDown() override {
    g_pShowSetupMessage = previous_box_;
  }
  // The processing step run as the starter runs it, in the starter's folder
  // (where the local archives lie).
  bool ProcessInTheStartersFolder() {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(Widen(current_.c_str()).c_str());
    bool ok = handler_.ProcessDownloadedClient();
    SetCurrentDirectoryW(previous);
    return ok;
  }
  // Hands the package to the download worker as a finished download would.
  void Downloaded(const std::string& bytes) {
    SetupDownloader* downloader = handler_.GetSetupDownloader();
    delete[] downloader->m_pPackage;
    downloader->m_pPackage = new unsigned char[bytes.size() + 1];
    memcpy(downloader->m_pPackage, bytes.data(), bytes.size());
    downloader->m_iExpectedSize = static_cast<int>(bytes.size());
    downloader->m_iReceivedBytes = static_cast<int>(bytes.size());
  }
  std::string SetupLines(const std::string& setup_directory) const {
    return "<__SetupDirectory__>" + setup_directory + "</__SetupDirectory__>\n" + "<__SetupFile__>" + current_ +
           "\\KestrelonStarter.exe</__SetupFile__>\n" + "<__SetupFileName__>KestrelonStarter.exe</__SetupFileName__>\n" +
           "<__SetupConfigureFile__>" + current_ + "\\starter.cfg</__SetupConfigureFile__>\n";
  }

  kstest::TempDir dir_;
  std::string temp_;
  std::string current_;
  std::string package_;
  Handler handler_;
  SetupMessageBoxFunction previous_box_;
};

TEST_F(ProcessDownloadedClient, DownloadIsSavedInTempAndUnpackedThere) {
  // What an earlier run left, including a protected file.
  std::string setup = temp_ + "\\ks_starter_dir";
  MakeDirectory(setup);
  ASSERT_TRUE(kstest::WriteFile(setup + "\\stale.dll", "old"));
  SetFileAttributesW(Widen((setup + "\\stale.dll").c_str()).c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Downloaded(package_);
  LogCapture log;
  EXPECT_TRUE(handler_.ProcessDownloadedClient()) << log.Dump();

  EXPECT_EQ(handler_.stops, 1);
  EXPECT_EQ(std::string(handler_.m_sDownloadFile), temp_ + "\\PCClient.zip");
  EXPECT_EQ(std::string(handler_.m_sSetupDirectory), setup);
  EXPECT_FALSE(kstest::FileExists(temp_ + "\\PCClient.zip")) << "deleted after a complete pass";
  EXPECT_FALSE(kstest::FileExists(setup + "\\stale.dll"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSInstaller.exe"), "MZ installer");
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSLauncher.exe"), "MZ installer");
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\bin\\core.dll"), std::string(50000, 'c'));
  EXPECT_EQ(std::string(handler_.m_sSetting), SetupLines(setup) + kSettings);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(log.Records().front().message, "Enter ...");
  EXPECT_TRUE(log.Has("Uncompress " + temp_ + "\\PCClient.zip into " + setup));
  EXPECT_TRUE(log.Has("copy sSourceFile = " + setup + "\\KSInstaller.exe, sTargetFile = " + setup + "\\KSLauncher.exe"));
}

// A participant who follows the link twice runs two starters: the second
// leaves the setup folder alone while the first works in it, then does its
// own flow.
TEST_F(ProcessDownloadedClient, SecondStarterWaitsForTheSetupFolder) {
  std::string setup = temp_ + "\\ks_starter_dir";
  MakeDirectory(setup);
  ASSERT_TRUE(kstest::WriteFile(setup + "\\KSLauncher.exe", "the first starter's"));
  Downloaded(package_);
  ks::UniqueHandle first(CreateMutexW(nullptr, FALSE, SetupFolderLock::Name().c_str()));
  ASSERT_TRUE(first);
  ASSERT_EQ(WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  std::atomic<bool> done(false);
  std::thread second([&] {
    handler_.ProcessDownloadedClient();
    handler_.m_oSetupFolderLock.Release();
    done = true;
  });
  Sleep(500);
  EXPECT_FALSE(done);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSLauncher.exe"), "the first starter's");
  ReleaseMutex(first.get());
  second.join();
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSLauncher.exe"), "MZ installer");
}

TEST_F(ProcessDownloadedClient, UnwritableTempMovesEverythingNextToTheStarter) {
  // A temp folder that does not exist, and one that is not known at all.
  for (const std::string& temp : {dir_.File("no such temp"), std::string()}) {
    strcpy(handler_.m_sTempDirectory, temp.c_str());
    Downloaded(package_);
    LogCapture log;
    EXPECT_TRUE(handler_.ProcessDownloadedClient());
    EXPECT_TRUE(log.Has("Filed to open file to write: " + temp + "\\PCClient.zip")) << log.Dump();
    EXPECT_EQ(std::string(handler_.m_sDownloadFile), current_ + "\\PCClient.zip");
    EXPECT_EQ(std::string(handler_.m_sSetupDirectory), current_ + "\\ks_starter_dir");
    EXPECT_FALSE(kstest::FileExists(current_ + "\\PCClient.zip"));
    EXPECT_EQ(kstest::ReadFileOrEmpty(current_ + "\\ks_starter_dir\\KSLauncher.exe"), "MZ installer");
    EXPECT_TRUE(g_messages.empty());
  }
}

TEST_F(ProcessDownloadedClient, ClientSyncFallbackUnpacksOneLevelAboveTheStarter) {
  std::string missing_temp = dir_.File("no such temp");
  strcpy(handler_.m_sTempDirectory, missing_temp.c_str());
  handler_.m_bCalledByClientToSyncVersion = true;
  Downloaded(package_);
  EXPECT_TRUE(handler_.ProcessDownloadedClient());
  std::string setup = current_ + "\\..\\ks_starter_dir";
  EXPECT_EQ(std::string(handler_.m_sSetupDirectory), setup);
  EXPECT_EQ(kstest::ReadFileOrEmpty(dir_.File("client\\ks_starter_dir\\KSInstaller.exe")), "MZ installer");
  EXPECT_EQ(std::string(handler_.m_sSetting), SetupLines(setup) + kSettings);
}

TEST_F(ProcessDownloadedClient, NowhereToSaveTheDownloadIsShownAndLeavesTheSettings) {
  strcpy(handler_.m_sTempDirectory, dir_.File("no such temp").c_str());
  strcpy(handler_.m_sCurrentDirectory, dir_.File("no such starter folder").c_str());
  Downloaded(package_);
  LogCapture log;
  EXPECT_FALSE(handler_.ProcessDownloadedClient());
  EXPECT_EQ(g_messages, std::vector<std::string>{"Unable to save the download file"});
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kDisk);
  EXPECT_EQ(log.Count("Filed to open file to write: " + dir_.File("no such starter folder") + "\\PCClient.zip"), 1);
  EXPECT_STREQ(handler_.m_sSetting, kSettings);
}

TEST_F(ProcessDownloadedClient, LocalArchivesAreUnpackedBesideTheStarter) {
  std::string accessory;
  ASSERT_TRUE(package::AppendFile(&accessory, "skins\\dark.skin", "dark"));
  ASSERT_TRUE(kstest::WriteFile(current_ + "\\PCClient", package_));
  ASSERT_TRUE(kstest::WriteFile(current_ + "\\PCClientAccessory", accessory));
  handler_.m_bClientFilesAvailable = true;
  EXPECT_TRUE(ProcessInTheStartersFolder());

  std::string setup = current_ + "\\ks_starter_dir";
  EXPECT_EQ(std::string(handler_.m_sSetupDirectory), setup);
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\KSInstaller.exe"), "MZ installer");
  EXPECT_FALSE(kstest::FileExists(setup + "\\KSLauncher.exe")) << "no launcher copy in this branch";
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\Accessory\\skins\\dark.skin"), "dark");
  EXPECT_FALSE(kstest::FileExists(current_ + "\\PCClient"));
  EXPECT_FALSE(kstest::FileExists(current_ + "\\PCClientAccessory"));
  EXPECT_EQ(kstest::ReadFileOrEmpty(setup + "\\WorkingDirectory.txt"),
            "<__WorkingDirectory__>" + current_ + "\\Kestrelon</__WorkingDirectory__>\r\n");
  EXPECT_EQ(std::string(handler_.m_sSetting),
            SetupLines(setup) + "<__NeedToRemoveSetup__>Y</__NeedToRemoveSetup__>\n" + kSettings);
}

// A file the system refuses ends the unpack: nothing of this run stays in
// the setup folder (the saved package stays for a look) and no setup lines
// are added; the same when the local accessory archive fails after the
// client's unpacked.
TEST_F(ProcessDownloadedClient, AnEntryThatCannotBeWrittenLeavesNoHalfSetupFolder) {
  std::string broken = package_;
  ASSERT_TRUE(package::AppendFile(&broken, "bin\\no?such.dll", "refused by the file system"));
  std::string setup = temp_ + "\\ks_starter_dir";
  Downloaded(broken);
  LogCapture log;
  EXPECT_FALSE(handler_.ProcessDownloadedClient());
  EXPECT_EQ(g_messages, std::vector<std::string>{"Unable to save the download file"});
  EXPECT_FALSE(kstest::FileExists(setup)) << "no half folder";
  EXPECT_EQ(kstest::ReadFileOrEmpty(temp_ + "\\PCClient.zip"), broken);
  EXPECT_TRUE(
      log.HasFragment("unpacking " + temp_ + "\\PCClient.zip stopped (" + setup + "\\bin\\no?such.dll, error code: "))
      << log.Dump();
  EXPECT_STREQ(handler_.m_sSetting, kSettings);

  g_messages.clear();
  ASSERT_TRUE(kstest::WriteFile(current_ + "\\PCClient", package_));
  ASSERT_TRUE(kstest::WriteFile(current_ + "\\PCClientAccessory", broken));
  handler_.m_bClientFilesAvailable = true;
  EXPECT_FALSE(ProcessInTheStartersFolder());
  EXPECT_EQ(g_messages, std::vector<std::string>{"Unable to save the download file"});
  EXPECT_FALSE(kstest::FileExists(current_ + "\\ks_starter_dir")) << "the client's files went too";
  EXPECT_TRUE(kstest::FileExists(current_ + "\\PCClientAccessory")) << "a local archive is the operator's";
  EXPECT_STREQ(handler_.m_sSetting, kSettings);
}

TEST_F(ProcessDownloadedClient, SetupDirectoryThatCannotBeMadeIsShown) {
  // A file where the setup directory should be.
  ASSERT_TRUE(kstest::WriteFile(current_ + "\\ks_starter_dir", "in the way"));
  handler_.m_bClientFilesAvailable = true;
  LogCapture log;
  EXPECT_FALSE(handler_.ProcessDownloadedClient());
  EXPECT_TRUE(log.Has("Filed to create: " + current_ + "\\ks_starter_dir")) << log.Dump();
  EXPECT_EQ(g_messages, std::vector<std::string>{"Unable to create a directory to install the downloaded software"});
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kDisk);
  EXPECT_STREQ(handler_.m_sSetting, kSettings);
}

TEST_F(ProcessDownloadedClient, SettingsThatWouldOverflowAreRefusedWhole) {
  std::string settings = "<__MeetingID__>" + std::string(1700, '7') + "</__MeetingID__>";
  strcpy(handler_.m_sSetting, settings.c_str());
  Downloaded(package_);
  LogCapture log;
  EXPECT_FALSE(handler_.ProcessDownloadedClient());
  EXPECT_EQ(std::string(handler_.m_sSetting), settings);
  EXPECT_EQ(g_messages, std::vector<std::string>{"Unable to prepare the parameters for the installation"});
  EXPECT_EQ(ks::RecordedRunFailure(), ks::FailureCause::kLinkUnreadable);
  EXPECT_TRUE(log.HasFragment("more than the 2048 bytes of m_sSetting")) << log.Dump();
  EXPECT_TRUE(kstest::FileExists(temp_ + "\\ks_starter_dir\\KSInstaller.exe")) << "the package is unpacked all the same";

  // Exactly full still fits: 2047 bytes and the zero byte.
  std::string lines = SetupLines(temp_ + "\\ks_starter_dir");
  std::string fitting = "<__X__>" + std::string(2047 - lines.size() - 15, 'x') + "</__X__>";
  strcpy(handler_.m_sSetting, fitting.c_str());
  Downloaded(package_);
  EXPECT_TRUE(handler_.ProcessDownloadedClient());
  EXPECT_EQ(std::string(handler_.m_sSetting), lines + fitting);
  EXPECT_EQ(strlen(handler_.m_sSetting), 2047u);
}

}  // namespace
