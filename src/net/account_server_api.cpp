#include "net/account_server_api.h"

#include "base/tag_field.h"
#include "base/text.h"

namespace AccountServer {

std::string ClientSizeRequest() {
  return ks::Format(kClientSizeQueryFormat, kClientSizePath, kClientType, kClientPlatform);
}

std::string ClientRequest() { return ks::Format(kClientQueryFormat, kClientPath, kClientType, kClientPlatform); }

std::string InstallationReportRequest(const char* starter_sid) {
  return ks::Format(kInstallationReportQueryFormat, kInstallationReportPath, starter_sid ? starter_sid : "");
}

namespace {

// atoi's reading, with 0 for a value outside the int range: a count that
// does not fit is no count, not a 2 GiB one.
int ReadCount(const char* text) {
  bool out_of_range = false;
  int value = ks::ParseInt(text, &out_of_range);
  return out_of_range ? 0 : value;
}

}  // namespace

int ParseClientSize(const char* reply) {
  if (reply == nullptr) return 0;
  char size_text[512];
  if (Utility::GetTagValue(reply, kClientSizeOpeningTag, kClientSizeClosingTag, size_text, sizeof size_text))
    return ReadCount(size_text);
  return ReadCount(reply);
}

}  // namespace AccountServer
