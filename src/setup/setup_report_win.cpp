#include <string>
#include <vector>

#include "base/log_api.h"
#include "base/tag_field.h"
#include "net/account_server_api.h"
#include "net/hlib_win.h"
#include "setup/setup_handler_win.h"

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
