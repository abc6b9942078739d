#include "setup/version_file_win.h"

#include <cctype>
#include <cstdio>

#include "base/handles_win.h"
#include "base/wide_text.h"

bool ReadVersionFile(const char* path, size_t limit, std::string* version) {
  version->clear();
  ks::UniqueFile file(_wfopen(Widen(path).c_str(), L"r"));
  if (!file) return false;
  int c;
  while ((c = fgetc(file.get())) != EOF && isspace(c)) {
  }
  for (; c != EOF && !isspace(c) && version->size() <= limit; c = fgetc(file.get())) *version += static_cast<char>(c);
  if (version->size() > limit) version->clear();
  return true;
}
