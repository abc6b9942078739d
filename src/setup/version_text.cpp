#include "setup/version_text.h"

#include "base/text.h"

namespace {
char g_sVersionText[1024];
}

const char* GetVersionText() { return g_sVersionText; }
void SetVersionText(const char* text) {
  if (!ks::CopyText(g_sVersionText, sizeof g_sVersionText, text)) g_sVersionText[0] = '\0';
}
