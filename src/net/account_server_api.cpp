#include "net/account_server_api.h"

#include "base/text.h"

namespace AccountServer {

std::string ClientSizeRequest() {
  return ks::Format(kClientSizeQueryFormat, kClientSizePath, kClientType, kClientPlatform);
}

std::string ClientRequest() { return ks::Format(kClientQueryFormat, kClientPath, kClientType, kClientPlatform); }

std::string InstallationReportRequest(const char* starter_sid) {
  return ks::Format(kInstallationReportQueryFormat, kInstallationReportPath, starter_sid ? starter_sid : "");
}

}  // namespace AccountServer
