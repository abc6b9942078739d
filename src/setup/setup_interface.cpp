#include "setup/setup_interface.h"

#include <atomic>
#include <new>

namespace {
std::atomic<int> g_live_texts(0);
}

char* AllocNotificationText() {
  char* text = new (std::nothrow) char[kNotificationTextSize];
  if (text != nullptr) {
    text[0] = '\0';
    ++g_live_texts;
  }
  return text;
}

void FreeNotificationText(char* text) {
  if (text == nullptr) return;
  --g_live_texts;
  delete[] text;
}

int LiveNotificationTexts() { return g_live_texts.load(); }
