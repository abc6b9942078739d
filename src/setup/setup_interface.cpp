#include "setup/setup_interface.h"

#include <new>

char* AllocNotificationText() {
  char* text = new (std::nothrow) char[kNotificationTextSize];
  if (text != nullptr) text[0] = '\0';
  return text;
}

void FreeNotificationText(char* text) { delete[] text; }
