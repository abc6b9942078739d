#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/error_text.h"
#include "base/log_api.h"
#include "base/tag_field.h"
#include "net/account_server_api.h"
#include "net/hlib_win.h"
#include "setup/setup_handler_win.h"

namespace {

class ReportThread : public MyThread {
 public:
  explicit ReportThread(SetupHandler* handler) : m_pSetupHandler(handler) {}
  bool Run() override {
    m_pSetupHandler->InformServerOfInstallation();
    return true;
  }

 private:
  SetupHandler* m_pSetupHandler;
};

// The reports started and not yet waited for. Never destroyed: a report may
// still run while the process ends after the window was closed mid-run.
struct StartedReports {
  std::mutex lock;
  std::vector<ReportThread*> threads;
};

StartedReports& Started() {
  static StartedReports* started = new StartedReports();
  return *started;
}

}  // namespace

std::string SetupHandler::InformServerOfInstallation() {
  const char* operation = "SetupHandler::InformServerOfInstallation";
  std::string result;
  if (m_sStarterSid[0] == '\0' || m_sAccountServerName[0] == '\0') {
    KS_LOG(0, operation, "Failed: m_sStarterSid = %s, m_sAccountServerName = %s", m_sStarterSid,
           m_sAccountServerName);
    return result;
  }
  const int kReplyLimit = 4096;
  std::string url = AccountServer::InstallationReportRequest(m_sStarterSid);
  std::vector<char> reply(kReplyLimit + 1, '\0');
  HLib fetcher;
  int port_used = 0;
  // A failed request leaves the reply empty, which is all the caller needs.
  fetcher.GetPage(m_sAccountServerName, m_iAccountServerPort, url.c_str(), kReplyLimit, "", reply.data(), &port_used);
  Utility::GetTagValue(reply.data(), AccountServer::kUserInputOpeningTag, AccountServer::kUserInputClosingTag, result);
  KS_LOG(0, operation, "sURL = %s, sReturn = %s", url.c_str(), reply.data());
  return result;
}

void SetupHandler::StartInstallationReport() {
  std::unique_ptr<ReportThread> report(new ReportThread(this));
  report->SetRaisePriority(false);
  if (report->Start() != nullptr) {
    StartedReports& started = Started();
    std::lock_guard<std::mutex> hold(started.lock);
    started.threads.push_back(report.release());
    return;
  }
  int code = static_cast<int>(GetLastError());
  KS_LOG(0, "SetupHandler::StartInstallationReport", "Failed to start the report thread, error code: %d, error: %s",
         code, GetErrorText(code));
  InformServerOfInstallation();
}

void SetupHandler::WaitForInstallationReports() {
  StartedReports& started = Started();
  for (;;) {
    std::vector<ReportThread*> running;
    {
      std::lock_guard<std::mutex> hold(started.lock);
      running.swap(started.threads);
    }
    if (running.empty()) return;
    for (ReportThread* report : running) {
      WaitForSingleObject(report->GetThreadHandle(), INFINITE);
      delete report;
    }
  }
}
