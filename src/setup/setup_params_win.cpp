#include "setup/setup_handler_win.h"

// Placeholder until this step is built: it fails the way the flow expects.
bool SetupHandler::ParseSetting(const char* /*settings*/) { return false; }

bool SetupHandler::DecodeMeetingQuery(char* settings) {
  m_bStartedWithParameter = true;
  settings[0] = 0;
  return false;
}
