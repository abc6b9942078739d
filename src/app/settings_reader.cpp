#include "app/settings_reader.h"

#include <cstring>
#include <string>

#include "base/log_api.h"
#include "base/tag_field.h"
#include "base/text.h"
#include "setup/version_text.h"

namespace {
const char kOperation[] = "SetupHandler::ParseSetting";

struct ReadField {
  const char* opening;
  const char* closing;
  size_t capacity;
};

const ReadField kReadFields[] = {
    {"<__AccountServerIP__>", "</__AccountServerIP__>", kSettingsValueSize},
    {"<__AccountServerPort__>", "</__AccountServerPort__>", kSettingsValueSize},
    {"<__ClientName__>", "</__ClientName__>", kSettingsValueSize},
    {"<__Version__>", "</__Version__>", kSettingsValueSize},
    {"<__StarterSid__>", "</__StarterSid__>", kStarterSidSize},
};

// Logs and returns false when some value would not fit its member whole.
bool FitsMembers(const char* text) {
  size_t length = strlen(text);
  if (length >= kKeptSettingSize) {
    KS_LOG(3, kOperation, "Refused sSetting: %d bytes, at most %d can be kept", static_cast<int>(length),
           static_cast<int>(kKeptSettingSize - 1));
    return false;
  }
  for (const ReadField& field : kReadFields) {
    std::string value;
    if (Utility::GetTagValue(text, field.opening, field.closing, value) && value.size() >= field.capacity) {
      KS_LOG(3, kOperation, "Refused sSetting: %s value of %d bytes, at most %d allowed", field.opening,
             static_cast<int>(value.size()), static_cast<int>(field.capacity - 1));
      return false;
    }
  }
  return true;
}

void ReadIfPresent(const char* text, const ReadField& field, char* member) {
  char value[kSettingsValueSize];
  if (Utility::GetTagValue(text, field.opening, field.closing, value, sizeof value))
    ks::CopyText(member, field.capacity, value);
}

}  // namespace

const char kVersionTextTail[] = " V5.0 SP1 of Bootwick";

void BuildVersionText(const char* version, char* output, size_t capacity) {
  if (!ks::FormatText(output, capacity, "%s%s", version ? version : "", kVersionTextTail))
    ks::CopyText(output, capacity, "");
}

SettingsReadResult ReadSettingsText(const char* text, const SettingsMembers& members) {
  if (text == nullptr || *text == '\0') return SettingsReadResult::kEmpty;
  if (!FitsMembers(text)) return SettingsReadResult::kRefused;

  ReadIfPresent(text, kReadFields[0], members.account_server_name);
  // A settings text built from a meeting link carries every field, empty
  // when the link left its key out. An empty port or client name names none:
  // the defaults (port 8889, client "Kestrelon") stay instead of port 0 and
  // a nameless client.
  char port[kSettingsValueSize];
  if (Utility::GetTagValue(text, kReadFields[1].opening, kReadFields[1].closing, port, sizeof port) &&
      port[0] != '\0')
    *members.account_server_port = ks::ParseInt(port);
  char client_name[kSettingsValueSize];
  if (Utility::GetTagValue(text, kReadFields[2].opening, kReadFields[2].closing, client_name, sizeof client_name) &&
      client_name[0] != '\0')
    ks::CopyText(members.client_name, kReadFields[2].capacity, client_name);
  ReadIfPresent(text, kReadFields[3], members.version);
  Utility::GetTagValue(text, kReadFields[4].opening, kReadFields[4].closing, members.starter_sid, kStarterSidSize);

  char version_text[kSettingsValueSize + 64];
  BuildVersionText(members.version, version_text, sizeof version_text);
  SetVersionText(version_text);

  ks::CopyText(members.setting, kKeptSettingSize, text);
  return SettingsReadResult::kApplied;
}
