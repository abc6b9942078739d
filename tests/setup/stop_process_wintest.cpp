// Stopping a running client: the close request to its window, termination by
// name, and the service stop when the starter runs as the system account.
// Some cases wait the real 1000 ms steps (about 5 s each).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/handles_win.h"
#include "setup/setup_handler_win.h"
#include "standins/standin_client_win.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"
#include "system/process_control_win.h"

using kstest::WaitUntil;
using standin_client::StandinPath;

namespace {

const char kOneColon[] = "SetupHandler:StopProcess()";
const char kTwoColons[] = "SetupHandler::StopProcess";

int CountWithPrefix(const LogCapture& log, const std::string& operation, const std::string& prefix) {
  int count = 0;
  for (const CapturedRecord& r : log.Records())
    count += r.operation == operation && r.message.compare(0, prefix.size(), prefix) == 0;
  return count;
}

class StopProcess : public ::testing::Test {
 protected:
  StopProcess() : record_dir_(L"KS_STANDIN_DIR", dir_.path()) {}
  void TearDown() override {
    standin_client::EnsureEnded(client_.get());
    standin_client::EnsureEnded(installer_.get());
  }
  void StartClient(const char* on_close) {
    client_ = kstest::StartProcess("\"" + StandinPath("Kestrelon.exe") + "\" --on-close=" + on_close);
    ASSERT_TRUE(client_);
    ASSERT_TRUE(WaitUntil([] { return standin_client::ClientWindow() != nullptr; }));
    // The record is written from the client's message loop: it now answers.
    ASSERT_TRUE(standin_client::WaitForRecord(dir_.path(), "Kestrelon"));
  }

  kstest::TempDir dir_;
  kstest::ScopedEnvironment record_dir_;
  ks::UniqueHandle client_;
  ks::UniqueHandle installer_;
  SetupHandler handler_;
};

TEST_F(StopProcess, WithoutClientWindowNothingWaitsAndTheInstallerIsEnded) {
  installer_ = kstest::StartProcess("\"" + StandinPath("KSInstaller.exe") + "\" --wait=60000");
  ASSERT_TRUE(installer_);
  ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("KSInstaller.exe"); }));
  LogCapture log;
  handler_.StopProcess();
  EXPECT_TRUE(standin_client::HasEnded(installer_.get()));

  EXPECT_EQ(CountWithPrefix(log, kOneColon, "Failed to close"), 0) << log.Dump();
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "4Failed to close"), 0);
  std::vector<CapturedRecord> records = log.Records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.front().operation, kTwoColons);
  EXPECT_EQ(records.front().message, "Enter ...");
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "1error code: "), 1);
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "2error code: "), 1);
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "3error code: "), 1);
  EXPECT_EQ(CountWithPrefix(log, kTwoColons, "Has stopped Kestrelon.exe and KSInstaller.exe, error code: "), 1);
  EXPECT_TRUE(log.Has("sProcessName = \"kestrelon.exe\""));
  EXPECT_TRUE(log.Has("sProcessName = \"kestrelon.ex\""));
  EXPECT_TRUE(log.Has("sProcessName = \"ksinstaller.exe\""));
  EXPECT_TRUE(log.Has("bServiceModeRunning is false"));
  EXPECT_FALSE(log.HasFragment("OpenSCManager")) << "not the system account: no service control";
  EXPECT_EQ(records.back().message, "bServiceModeRunning is false");
}

TEST_F(StopProcess, WindowClosingWithinTheFirstSecondEndsTheLoop) {
  StartClient("delay:200");
  LogCapture log;
  handler_.StopProcess();
  EXPECT_TRUE(standin_client::HasEnded(client_.get()));
  DWORD exit_code = 1;
  GetExitCodeProcess(client_.get(), &exit_code);
  EXPECT_EQ(exit_code, 0u) << "closed itself, not terminated";
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "Failed to close KestrelonMainWindowClass, error code: "), 1)
      << log.Dump();
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "2Failed to close"), 0);
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "3Failed to close"), 0);
  EXPECT_EQ(CountWithPrefix(log, kOneColon, "4Failed to close KestrelonMainWindowClass, error code: "), 1);
}

TEST_F(StopProcess, WindowThatNeverClosesGetsFiveAttemptsAndIsTerminated) {
  StartClient("ignore");
  LogCapture log;
  handler_.StopProcess();
  EXPECT_TRUE(standin_client::HasEnded(client_.get()));
  for (const char* prefix : {"Failed to close", "2Failed to close", "3Failed to close", "4Failed to close"})
    EXPECT_EQ(CountWithPrefix(log, kOneColon, prefix), 5) << prefix << "\n" << log.Dump();
  EXPECT_EQ(standin_client::ClientWindow(), nullptr);
}

// The client's service, installed for one test from the stand-in.
class ServiceStop : public StopProcess {
 protected:
  void SetUp() override {
    manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager_);
    RemoveService();
  }
  void TearDown() override {
    RemoveService();
    StopProcess::TearDown();
  }
  void InstallAndStart(const wchar_t* stop_delay) {
    std::wstring binary = L"\"" + Widen(StandinPath("KSService.exe").c_str()) + L"\"";
    ks::UniqueService service(CreateServiceW(manager_.get(), L"Kestrelon", L"Kestrelon", SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                             binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << GetLastError();
    std::wstring record_dir = L"--record-dir=" + Widen(dir_.path().c_str());
    const wchar_t* arguments[] = {stop_delay, record_dir.c_str()};
    ASSERT_TRUE(StartServiceW(service.get(), 2, arguments)) << GetLastError();
    ASSERT_TRUE(standin_client::WaitForRecord(dir_.path(), "KSService"));
    ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("KSService.exe"); }));
    ASSERT_TRUE(WaitUntil([&] {
      SERVICE_STATUS status = {};
      return QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING;
    }));
  }
  // Stops and deletes a "Kestrelon" service left by a test (or an earlier run).
  void RemoveService() {
    ks::UniqueService service(OpenServiceW(manager_.get(), L"Kestrelon", SERVICE_ALL_ACCESS));
    if (service) {
      SERVICE_STATUS status = {};
      ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
      DeleteService(service.get());
    }
    if (!WaitUntil([] { return !IsProcessRunning("KSService.exe"); }, 15000))
      Utility::TerminateProcessByName("\"KSService.exe\"");
  }

  ks::UniqueService manager_;
};

TEST_F(ServiceStop, SystemAccountStopsTheService) {
  InstallAndStart(L"--stop-delay=0");
  handler_.m_bSystemUser = true;
  LogCapture log;
  handler_.StopProcess();
  EXPECT_TRUE(log.Has("bServiceModeRunning is true")) << log.Dump();
  EXPECT_TRUE(log.Has("OpenSCManager() succeeded"));
  EXPECT_TRUE(log.Has("OpenService() succeeded"));
  EXPECT_TRUE(log.Has("Stop service successfully")) << log.Dump();
  EXPECT_FALSE(IsProcessRunning("KSService.exe"));
}

TEST_F(ServiceStop, LingeringServiceIsCheckedFiveTimes) {
  InstallAndStart(L"--stop-delay=9000");
  handler_.m_bSystemUser = true;
  LogCapture log;
  handler_.StopProcess();
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(log.Count("Wait to stop service " + std::to_string(i)), 1) << log.Dump();
  EXPECT_EQ(log.Count("Wait to stop service 6"), 0);
  EXPECT_TRUE(log.Has("Failed to stop service"));
  EXPECT_FALSE(log.Has("Stop service successfully"));
}

TEST_F(ServiceStop, OtherAccountsLeaveTheServiceAlone) {
  InstallAndStart(L"--stop-delay=0");
  LogCapture log;
  handler_.StopProcess();
  EXPECT_TRUE(log.Has("bServiceModeRunning is true"));
  EXPECT_FALSE(log.HasFragment("OpenSCManager"));
  EXPECT_TRUE(IsProcessRunning("KSService.exe"));
}

TEST_F(ServiceStop, MissingServiceIsLoggedAsAFailure) {
  handler_.m_bSystemUser = true;
  LogCapture log;
  handler_.StopProcess();
  bool found = false;
  for (const CapturedRecord& r : log.Records()) {
    if (r.message.compare(0, 34, "failed to OpenService(). Error: 10") != 0) continue;
    found = true;
    EXPECT_EQ(r.operation, "SetupHandler::StopProcess()");
    EXPECT_EQ(r.level, 3);
  }
  EXPECT_TRUE(found) << log.Dump();
  EXPECT_TRUE(log.Has("OpenSCManager() succeeded"));
}

}  // namespace
