#include "net/account_server_api.h"

#include <climits>

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

// atoi's reading (leading white space, one sign, digits up to the first
// other byte), with 0 for a value outside the int range.
int ReadCount(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return 0;
  }
  if (negative) value = -value;
  return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
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
