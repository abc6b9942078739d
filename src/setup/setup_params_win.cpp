#include <cstring>
#include <string>

#include "app/meeting_settings.h"
#include "app/query_decoding_win.h"
#include "app/query_map.h"
#include "app/settings_reader.h"
#include "base/log_api.h"
#include "setup/setup_handler_win.h"

static_assert(SetupHandler::kTextSize == kSettingsValueSize, "settings value buffers");
static_assert(SetupHandler::kStarterSidSize == kStarterSidSize, "starter identifier buffer");
static_assert(SetupHandler::kSettingSize == kKeptSettingSize, "kept settings text buffer");

bool SetupHandler::ParseSetting(const char* settings) {
  SettingsMembers members = {m_sAccountServerName, &m_iAccountServerPort, m_sClientName,
                             m_sVersion,           m_sStarterSid,         m_sSetting};
  return ReadSettingsText(settings, members) == SettingsReadResult::kApplied;
}

bool SetupHandler::DecodeMeetingQuery(char* settings) {
  const char kOperation[] = "SetupHandler::Run";
  m_bStartedWithParameter = true;
  settings[0] = '\0';

  const char* colon = strchr(m_sCommandLine, ':');
  if (colon == nullptr) {
    KS_LOG(3, kOperation, "Missing :, invalid m_sCommandLine = %s", m_sCommandLine);
    return false;
  }
  const std::string query_text(colon + 1);

  QueryMap outer;
  outer.Parse(query_text.c_str(), '&', true);
  std::string parameter = outer.GetValue("sp");
  std::string checksum = outer.GetValue("chk");
  KS_LOG(0, kOperation, "sParameter = %s, sCheckSum = %s", parameter.c_str(), checksum.c_str());

  QueryMap inner;
  if (!Utility::DecryptQuery(parameter.c_str(), checksum.c_str(), inner)) {
    // A browser may pass the link without URL-encoding it; then a '+' of the
    // Base64 text must stay a '+'.
    QueryMap raw;
    raw.Parse(query_text.c_str(), '&', false);
    parameter = raw.GetValue("sp");
    checksum = raw.GetValue("chk");
    KS_LOG(0, kOperation, "No URLdecoding: sParameter = %s, sCheckSum = %s", parameter.c_str(), checksum.c_str());
    if (!Utility::DecryptQuery(parameter.c_str(), checksum.c_str(), inner)) {
      KS_LOG(3, kOperation, "Utility::DecryptQuery() failed. sParameter = %s, sCheckSum = %s", parameter.c_str(),
             checksum.c_str());
      return false;
    }
  }

  std::string text = BuildSettingsTextFromQuery(inner);
  // A zero byte (from "%00") would cut the text short, and the worker keeps
  // at most kSettingSize - 1 bytes: either would pass on a different meeting.
  if (text.find('\0') != std::string::npos) {
    KS_LOG(3, kOperation, "Refused sSetting: a value holds a zero byte");
    return false;
  }
  if (text.size() >= static_cast<size_t>(kSettingSize)) {
    KS_LOG(3, kOperation, "Refused sSetting: %d bytes, at most %d can be kept", static_cast<int>(text.size()),
           kSettingSize - 1);
    return false;
  }
  KS_LOG(0, kOperation, "sSetting = %s", text.c_str());
  memcpy(settings, text.c_str(), text.size() + 1);
  return true;
}
