#include "app/embedded_settings_win.h"

// Placeholder until the stamped block is read: no block is ever found.
bool FindEmbeddedSettings(char* settings) {
  settings[0] = '\0';
  return false;
}
