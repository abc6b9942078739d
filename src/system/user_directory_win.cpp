#include "system/user_directory_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "base/log_api.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "system/split_path.h"
#include "system/user_account_win.h"
#include "system/user_directory_rules.h"

namespace Utility {
namespace {

const char kOperation[] = "Utility::GetUserDirectory()";
const int kTextSize = 512;

// The long form of a path (8.3 components expanded); the path itself when the
// system cannot give one that fits.
void ToLongForm(wchar_t* path) {
  wchar_t long_path[kTextSize];
  DWORD length = GetLongPathNameW(path, long_path, kTextSize);
  if (length > 0 && length < static_cast<DWORD>(kTextSize)) wcscpy(path, long_path);
}

// A known folder in UTF-8; false (output empty) when the system cannot give it.
bool GetKnownFolder(REFKNOWNFOLDERID id, bool long_form, char* output) {
  output[0] = '\0';
  PWSTR path = nullptr;
  HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &path);
  bool ok = SUCCEEDED(result) && path != nullptr && wcslen(path) < static_cast<size_t>(kTextSize);
  if (ok) {
    wchar_t buffer[kTextSize];
    wcscpy(buffer, path);
    if (long_form) ToLongForm(buffer);
    ok = UTF16ToUTF8(buffer, output, kTextSize) && output[0] != '\0';
  }
  CoTaskMemFree(path);
  return ok;
}

// A path the system writes into a buffer (its length is the result), in its
// long form and UTF-8; empty when it does not fit.
void LongPathUtf8(DWORD length, wchar_t* path, char* output) {
  if (length == 0 || length >= static_cast<DWORD>(kTextSize)) {
    output[0] = '\0';
    return;
  }
  ToLongForm(path);
  UTF16ToUTF8(path, output, kTextSize);  // empty when it does not fit
}

void GetCurrentFilePath(char* output) {
  wchar_t path[kTextSize];
  LongPathUtf8(GetModuleFileNameW(nullptr, path, kTextSize), path, output);
}

void GetTempFolder(char* output) {
  wchar_t path[kTextSize];
  LongPathUtf8(GetTempPathW(kTextSize, path), path, output);
}

}  // namespace

void GetUserDirectory(const char* product_name, char* current_directory, char* current_file,
                      char* user_application_directory, char* temp_directory, char* start_menu_directory,
                      char* desktop_directory, bool* user_application_directory_accessible, bool* system_user,
                      char* documents_directory) {
  const char* product = ProductFolderName(product_name);
  const bool shared_folders = strcmp(product, "Gardolo") == 0 && IsVistaOrLater();

  char current_file_path[kTextSize];
  GetCurrentFilePath(current_file_path);
  KS_LOG(0, kOperation, "sCurrentFilePath = %s", current_file_path);
  if (!SplitPath(current_file_path, current_directory, kTextSize, current_file, kTextSize, "\\")) {
    current_directory[0] = '\0';
    current_file[0] = '\0';
  }

  *user_application_directory_accessible = true;
  *system_user = false;

  if (!IsSystemUser()) {
    if (!GetKnownFolder(FOLDERID_RoamingAppData, false, user_application_directory)) {
      *user_application_directory_accessible = false;
      KS_LOG(0, kOperation, "user application directory does not exist");
    }
    KS_LOG(0, kOperation, "bSystemUser = false, sUserApplicationDirectory = %s", user_application_directory);
  } else {
    *system_user = true;
    ks::CopyText(user_application_directory, kTextSize, current_directory);
    KS_LOG(0, kOperation, "bSystemUser = true, sUserApplicationDirectory = %s", user_application_directory);
    bool adjusted = false;
    if (!SystemAccountApplicationDirectory(current_directory, product, user_application_directory, kTextSize,
                                           &adjusted))
      adjusted = true;  // did not fit: the folder is now empty, which is worth a line too
    if (adjusted)
      KS_LOG(0, kOperation, "bSystemUser = true, sUserApplicationDirectory = %s", user_application_directory);
  }

  if (shared_folders) {
    char common_documents[kTextSize];
    GetKnownFolder(FOLDERID_PublicDocuments, false, common_documents);
    if (CutAtLastBackslash(common_documents))
      ks::CopyText(user_application_directory, kTextSize, common_documents);
    KS_LOG(0, kOperation, "from CSIDL_COMMON_DOCUMENTS, sUserApplicationDirectory = %s", user_application_directory);
  }

  GetTempFolder(temp_directory);
  GetKnownFolder(FOLDERID_Documents, false, documents_directory);

  char programs[kTextSize];
  GetKnownFolder(shared_folders ? FOLDERID_CommonPrograms : FOLDERID_Programs, false, programs);
  // Without a programs folder there is no start-menu folder either, rather
  // than a bare "\<product>" that would resolve against the current drive.
  if (programs[0] == '\0' || !ks::FormatText(start_menu_directory, kTextSize, "%s\\%s", programs, product))
    start_menu_directory[0] = '\0';

  GetKnownFolder(FOLDERID_Desktop, true, desktop_directory);

  RemoveTrailingBackslash(user_application_directory);
  RemoveTrailingBackslash(temp_directory);

  KS_LOG(0, kOperation, "sStartMenuDirectory = %s", start_menu_directory);
  KS_LOG(0, kOperation, "sCurrentDirectory = %s", current_directory);
  KS_LOG(0, kOperation, "sCurrentFile = %s", current_file);
  KS_LOG(0, kOperation, "sUserApplicationDirectory = %s", user_application_directory);
  KS_LOG(0, kOperation, "sTempDirectory = %s", temp_directory);
  KS_LOG(0, kOperation, "sDesktopDirectory = %s", desktop_directory);
  KS_LOG(0, kOperation, *user_application_directory_accessible ? "bUserAppDirAccessable = true"
                                                                 : "bUserAppDirAccessable = false");
  KS_LOG(0, kOperation, *system_user ? "bSystemUser = true" : "bSystemUser = false");
}

}  // namespace Utility
