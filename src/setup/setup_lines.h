#pragma once
// The tag lines the starter puts in front of the settings text it leaves for
// the installer or the client: where the package was unpacked, the starter's
// own file, its parameter file, and what the client side should do.
#include <cstddef>
#include <string>

struct SetupLineValues {
  const char* setup_directory;
  const char* current_directory;
  const char* current_file;
  bool need_to_remove_setup;
  bool skipped_download;
};

// "<__Name__>value</__Name__>\n"
std::string TagLine(const char* name, const std::string& value);

// The lines in their fixed order: SetupDirectory, SetupFile, SetupFileName,
// SetupConfigureFile, then NeedToRemoveSetup and SkippedDownload when asked.
std::string BuildSetupLines(const SetupLineValues& values);

// Puts `lines` in front of the zero-ended text in `setting`. A result that
// would not fit `capacity` is refused whole (the setting is left as it was):
// a cut line would hand the client a broken field. `needed` receives the
// bytes the combined text needs with its zero byte.
bool PutInFront(char* setting, size_t capacity, const std::string& lines, size_t* needed);
