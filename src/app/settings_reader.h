#pragma once
// The settings reader: takes the fields the starter itself needs out of a
// settings text and keeps the whole text for the client side. A text that the
// worker's buffers cannot hold whole is refused as a whole (and logged), so a
// cut value can never turn into a different server, client or meeting.
#include <cstddef>

const size_t kSettingsValueSize = 512;   // server name, client name, version
const size_t kStarterSidSize = 128;
const size_t kKeptSettingSize = 2048;    // the kept settings text (m_sSetting)

// Where the reader puts what it finds; every text buffer has the size above.
struct SettingsMembers {
  char* account_server_name;
  int* account_server_port;
  char* client_name;
  char* version;
  char* starter_sid;
  char* setting;
};

enum class SettingsReadResult {
  kApplied,  // members set from the text
  kEmpty,    // nothing to read; members untouched
  kRefused   // a limit was exceeded (logged); members untouched
};

// Fields missing from the text leave their member unchanged, except the
// starter identifier, which becomes empty; so do an empty port and an empty
// client name. Sets the process-wide version text.
SettingsReadResult ReadSettingsText(const char* text, const SettingsMembers& members);

// "<version> V5.0 SP1 of Bootwick".
void BuildVersionText(const char* version, char* output, size_t capacity);
// What the version text adds after the version.
extern const char kVersionTextTail[];
