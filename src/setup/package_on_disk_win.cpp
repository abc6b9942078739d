#include "setup/package_on_disk_win.h"

#include <windows.h>

#include <cstdio>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/run_failure.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "setup/setup_process_win.h"
#include "system/remove_all_file.h"

namespace {

void RemoveFile(const char* operation, const std::wstring& path) {
  ks::RetryTransient(operation, "delete", path.c_str(), [&] {
    return DeleteFileW(path.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND;
  });
}

}  // namespace

bool SavePackageFile(const char* operation, const std::string& path, const unsigned char* bytes, size_t count) {
  std::wstring wide = Widen(path.c_str());
  if (wide.empty()) return false;
  ks::UniqueFile file(ks::OpenFileRetrying(operation, wide.c_str(), L"wb"));
  if (!file) return false;
  bool written = count == 0 || fwrite(bytes, 1, count, file.get()) == count;
  // fclose writes the last buffered block: its failure is a cut file too.
  written = fclose(file.release()) == 0 && written;
  if (written) return true;
  int code = static_cast<int>(GetLastError());
  KS_LOG(0, operation, "could not write the %u bytes of %s, error code: %d, error: %s", static_cast<unsigned>(count),
         path.c_str(), code, GetErrorTextInLine(code).c_str());
  RemoveFile(operation, wide);
  return false;
}

void RemoveFailedUnpack(const char* operation, const char* archive, const std::string& failed_entry,
                        const char* setup_directory) {
  Utility::RemoveAllFile(setup_directory, "");
  // Logged once the room is back: on a full disk the unpacker's own lines
  // may not have reached the log.
  KS_LOG(0, operation, "unpacking %s stopped (%s): what it wrote in %s is removed", archive,
         failed_entry.empty() ? "see the lines above" : failed_entry.c_str(), setup_directory);
  // Without an entry it could not write, the archive itself stopped it.
  ks::RecordRunFailure(failed_entry.empty() ? ks::FailureCause::kPackageRefused : ks::FailureCause::kDisk);
  g_pShowSetupMessage("Unable to save the download file");
}
