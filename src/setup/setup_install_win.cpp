#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"
#include "setup/setup_handler_win.h"
#include "system/split_path.h"

namespace {

// The first whitespace-delimited word of an open text file.
std::string ReadFirstWord(FILE* file) {
  std::string word;
  int c;
  while ((c = fgetc(file)) != EOF && isspace(c)) {
  }
  for (; c != EOF && !isspace(c); c = fgetc(file)) word += static_cast<char>(c);
  return word;
}

}  // namespace

void SetupHandler::CheckIsVersionIsSynced() {
  const char* operation = "SetupHandler::CheckIsVersionIsSynced";
  char candidates[4][kTextSize];
  bool formed[4] = {
      ks::FormatText(candidates[0], kTextSize, "%s\\%s\\%s\\%s", m_sUserApplicationDirectory, m_sClientName,
                     "Kestrelon", "version.txt"),
      ks::FormatText(candidates[1], kTextSize, "%s\\%s\\%s\\%s", m_sTempDirectory, m_sClientName, "Kestrelon",
                     "version.txt"),
      ks::FormatText(candidates[2], kTextSize, "%s\\%s\\%s\\%s", m_sCurrentDirectory, m_sClientName, "Kestrelon",
                     "version.txt"),
      ks::FormatText(candidates[3], kTextSize, "%s\\%s\\%s", m_sCurrentDirectory, "Kestrelon", "version.txt"),
  };
  for (int i = 0; i < 4; ++i) {
    if (!formed[i]) continue;  // a path that does not fit cannot name an installation
    KS_LOG(0, operation, "sVersionFileName is %s", candidates[i]);
    ks::UniqueFile file(_wfopen(Widen(candidates[i]).c_str(), L"r"));
    if (!file) continue;

    char directory[kTextSize];
    char file_name[kTextSize];
    SplitPath(candidates[i], directory, sizeof directory, file_name, sizeof file_name, "\\");
    ks::CopyText(m_sClientDirectory, sizeof m_sClientDirectory, directory);
    std::string existing = ReadFirstWord(file.get());
    // A word longer than any version this starter can hold cannot match it.
    if (existing.size() >= kTextSize) existing.clear();
    KS_LOG(0, operation, "sExistingVersion is %s, m_sClientDirectory = %s", existing.c_str(), m_sClientDirectory);
    m_bIsVersionSynced = existing == m_sVersion;
    return;
  }
  m_bIsVersionSynced = false;
  KS_LOG(0, operation, "Failed to find any KS installation");
}

// Placeholders until the hand-off to the client side is built.
bool SetupHandler::LaunchClient() { return false; }

void SetupHandler::CallToInstall() {}
