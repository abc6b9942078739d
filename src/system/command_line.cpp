#include "system/command_line.h"

void SplitCommandLine(const char* command_line, std::string& executable, std::string& parameters) {
  executable.clear();
  parameters.clear();
  if (command_line == nullptr) return;
  const char* p = command_line;
  while (*p == ' ') ++p;
  if (*p == '"') {
    const char* start = ++p;
    while (*p != '\0' && *p != '"') ++p;
    executable.assign(start, p);
    while (*p == '"' || *p == ' ') ++p;
  } else {
    const char* start = p;
    while (*p != '\0' && *p != ' ') ++p;
    executable.assign(start, p);
    while (*p == ' ') ++p;
  }
  parameters = p;
}
