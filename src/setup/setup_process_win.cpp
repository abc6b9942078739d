#include "setup/setup_process_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/mapped_file_win.h"
#include "base/run_failure.h"
#include "base/text.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "package/zlibpp_win.h"
#include "setup/package_on_disk_win.h"
#include "setup/package_request_win.h"
#include "setup/setup_downloader_win.h"
#include "setup/setup_handler_win.h"
#include "setup/setup_lines.h"
#include "system/package_check_win.h"
#include "system/remove_all_file.h"

namespace {

const char kOperation[] = "SetupHandler::ProcessDownloadedClient";
const int kWidePathSize = 512;
// The unpacker takes bodies below 2 GiB; a local archive is read whole.
const size_t kMaxArchiveSize = 0x7FFFFFFF;

void ShowSystemModalMessage(const char* text) {
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), L"", MB_SYSTEMMODAL);
}

bool DirectoryExists(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Stores a path built by `path` into a member of 512 bytes; false when it
// does not fit (the member is then empty).
bool SetPath(char* member, const std::string& path) { return ks::CopyText(member, SetupHandler::kTextSize, path.c_str()); }

// Empties the directory (or what is left of an earlier run) and makes sure it
// exists; a directory that cannot be made is told to the user.
bool PrepareDirectory(const char* directory) {
  Utility::RemoveAllFile(directory, "");
  wchar_t wide[kWidePathSize];
  // A folder whose removal a scanner holds up refuses to be made anew.
  bool ok = UTF8ToUTF16(directory, wide, kWidePathSize) && wide[0] != L'\0' &&
            (DirectoryExists(wide) || ks::RetryTransient(kOperation, "create", wide, [&] {
               return CreateDirectoryW(wide, nullptr) != FALSE;
             }));
  if (!ok) {
    KS_LOG(0, kOperation, "Filed to create: %s", directory);
    ks::RecordRunFailure(ks::FailureCause::kDisk);
    g_pShowSetupMessage("Unable to create a directory to install the downloaded software");
  }
  return ok;
}

FILE* OpenForWriting(const std::string& path, const wchar_t* mode) {
  wchar_t wide[kWidePathSize];
  if (!UTF8ToUTF16(path.c_str(), wide, kWidePathSize) || wide[0] == L'\0') return nullptr;
  return ks::OpenFileRetrying(kOperation, wide, mode);
}

// Puts the setup lines in front of the settings text. A text that would not
// fit m_sSetting is refused whole: a cut-off line would hand the installer a
// broken field, and cutting the settings would lose meeting parameters.
bool PutSetupLinesInFront(SetupHandler& handler, bool need_to_remove_setup) {
  SetupLineValues values = {handler.m_sSetupDirectory, handler.m_sCurrentDirectory, handler.m_sCurrentFile,
                            need_to_remove_setup, false};
  size_t needed = 0;
  if (!PutInFront(handler.m_sSetting, sizeof handler.m_sSetting, BuildSetupLines(values), &needed)) {
    KS_LOG(0, kOperation, "Setup lines and settings need %u bytes, more than the %d bytes of m_sSetting",
           static_cast<unsigned>(needed), SetupHandler::kSettingSize);
    ks::RecordRunFailure(ks::FailureCause::kLinkUnreadable);
    g_pShowSetupMessage("Unable to prepare the parameters for the installation");
    return false;
  }
  return true;
}

// The check has logged why.
bool RefusedPackage() {
  ks::RecordRunFailure(ks::FailureCause::kPackageRefused);
  return false;
}

// A local archive, checked whole before anything is stopped or written and
// then unpacked from the very bytes checked. One that cannot be read so is
// unpacked from its file by an unsigned starter, as it always was.
class LocalArchive {
 public:
  LocalArchive(const char* name, bool brings_program) : name_(name), brings_program_(brings_program), unpack_size_(0) {}
  bool Check(const SetupHandler& handler) {
    if (!file_.Open(Widen(name_).c_str(), kMaxArchiveSize))
      return PackageCheck::MayUseUnread(name_, static_cast<unsigned long>(GetLastError()));
    return PackageCheck::Verify(name_, file_.data(), file_.size(), PackageRequestOf(handler, brings_program_),
                                &unpack_size_);
  }
  // False when it did not unpack whole; `failed_entry` then names the file
  // it could not write, if that was why.
  bool Unpack(const char* destination, std::string* failed_entry) {
    CZLib unpacker;
    bool whole = file_.file() != nullptr ? unpacker.UnZipBytes(name_, file_.data(), unpack_size_, destination)
                                         : unpacker.UnZip(name_, destination);
    *failed_entry = unpacker.FailedEntry();
    return whole;
  }
  const char* name() const { return name_; }

 private:
  const char* name_;
  bool brings_program_;
  ks::MappedFile file_;
  size_t unpack_size_;
};

bool ProcessLocalArchives(SetupHandler& handler) {
  // The archives lie in the process's current directory under these exact
  // names; their unpack results show only in the unpacker's own log lines.
  LocalArchive client("PCClient", true);
  LocalArchive client_accessory("PCClientAccessory", false);
  if (!client.Check(handler) || !client_accessory.Check(handler)) return RefusedPackage();
  handler.StopProcess();
  handler.m_oSetupFolderLock.Acquire();

  // Without the starter's folder the paths would start at a drive's root.
  if (handler.m_sCurrentDirectory[0] == '\0' ||
      !SetPath(handler.m_sSetupDirectory, ks::Format("%s\\%s", handler.m_sCurrentDirectory, "ks_starter_dir"))) {
    KS_LOG(0, kOperation, "Filed to create: %s\\%s", handler.m_sCurrentDirectory, "ks_starter_dir");
    ks::RecordRunFailure(ks::FailureCause::kDisk);
    g_pShowSetupMessage("Unable to create a directory to install the downloaded software");
    return false;
  }
  if (!PrepareDirectory(handler.m_sSetupDirectory)) return false;
  std::string accessory = ks::Format("%s\\Accessory", handler.m_sSetupDirectory);
  if (!PrepareDirectory(accessory.c_str())) return false;

  // Both whole, or neither: the accessory lies inside the setup folder.
  std::string failed_entry;
  for (LocalArchive* archive : {&client, &client_accessory}) {
    if (!archive->Unpack(archive == &client ? handler.m_sSetupDirectory : accessory.c_str(), &failed_entry)) {
      RemoveFailedUnpack(kOperation, archive->name(), failed_entry, handler.m_sSetupDirectory);
      return false;
    }
  }
  KS_LOG(0, kOperation, "Uncompress %s into %s and %s", handler.m_sDownloadFile, handler.m_sSetupDirectory,
         accessory.c_str());

  std::string working_file = ks::Format("%s\\WorkingDirectory.txt", handler.m_sSetupDirectory);
  ks::UniqueFile file(OpenForWriting(working_file, L"wt"));
  if (file)
    fputs(TagLine("WorkingDirectory", ks::Format("%s\\%s", handler.m_sCurrentDirectory, handler.m_sClientName)).c_str(),
          file.get());
  else
    KS_LOG(0, kOperation, "Filed to open file to write: %s", working_file.c_str());
  file.reset();

  return PutSetupLinesInFront(handler, true);
}

// Where the package file and the setup directory go for a base directory;
// false when they cannot go there (an unknown base would mean a drive's root).
bool ChooseDownloadPlace(SetupHandler& handler, const char* base, bool above_base) {
  if (base[0] == '\0') return false;
  bool ok = SetPath(handler.m_sDownloadFile, ks::Format("%s\\%s", base, "PCClient.zip"));
  std::string setup = above_base ? ks::Format("%s\\..\\%s", base, "ks_starter_dir")
                                 : ks::Format("%s\\%s", base, "ks_starter_dir");
  return SetPath(handler.m_sSetupDirectory, setup) && ok;
}

bool ProcessDownloadedPackage(SetupHandler& handler) {
  // Exactly the received bytes, but never more than the downloader's buffer.
  const unsigned char* package_bytes = nullptr;
  size_t count = 0;
  SetupDownloader* downloader = handler.GetSetupDownloader();
  if (downloader != nullptr && downloader->m_pPackage != nullptr) {
    int received = downloader->ReceivedBytes();
    if (received > downloader->m_iExpectedSize) received = downloader->m_iExpectedSize;
    package_bytes = downloader->m_pPackage;
    count = received > 0 ? static_cast<size_t>(received) : 0;
  }
  // Checked where it lies in memory, before a client is stopped or a byte
  // is saved; it is named by the place it is saved to first.
  std::string tried = ks::Format("%s\\%s", handler.m_sTempDirectory, "PCClient.zip");
  size_t unpack_size = 0;
  if (!PackageCheck::Verify(tried.c_str(), package_bytes, count, PackageRequestOf(handler, true), &unpack_size))
    return RefusedPackage();
  handler.StopProcess();
  handler.m_oSetupFolderLock.Acquire();

  // A file that cannot be written whole there (a full disk) counts as one
  // that cannot be made there.
  bool saved = ChooseDownloadPlace(handler, handler.m_sTempDirectory, false) &&
               SavePackageFile(kOperation, handler.m_sDownloadFile, package_bytes, count);
  if (!saved) {
    KS_LOG(0, kOperation, "Filed to open file to write: %s", tried.c_str());
    // Next to the starter instead; a starter run by the installed client
    // lives one level down in the client's folder.
    tried = ks::Format("%s\\%s", handler.m_sCurrentDirectory, "PCClient.zip");
    saved = ChooseDownloadPlace(handler, handler.m_sCurrentDirectory, handler.m_bCalledByClientToSyncVersion) &&
            SavePackageFile(kOperation, handler.m_sDownloadFile, package_bytes, count);
    if (!saved) {
      KS_LOG(0, kOperation, "Filed to open file to write: %s", tried.c_str());
      ks::RecordRunFailure(ks::FailureCause::kDisk);
      g_pShowSetupMessage("Unable to save the download file");
      return false;
    }
  }

  // Unpacked from memory, the bytes checked: the saved file could have been
  // changed since it was written.
  if (!PrepareDirectory(handler.m_sSetupDirectory)) return false;
  CZLib unpacker;
  if (!unpacker.UnZipBytes(handler.m_sDownloadFile, package_bytes, unpack_size, handler.m_sSetupDirectory)) {
    RemoveFailedUnpack(kOperation, handler.m_sDownloadFile, unpacker.FailedEntry(), handler.m_sSetupDirectory);
    return false;
  }
  KS_LOG(0, kOperation, "Uncompress %s into %s", handler.m_sDownloadFile, handler.m_sSetupDirectory);

  std::string source = ks::Format("%s\\%s", handler.m_sSetupDirectory, "KSInstaller.exe");
  std::string target = ks::Format("%s\\%s", handler.m_sSetupDirectory, "KSLauncher.exe");
  wchar_t wide_source[kWidePathSize];
  wchar_t wide_target[kWidePathSize];
  if (UTF8ToUTF16(source.c_str(), wide_source, kWidePathSize) && UTF8ToUTF16(target.c_str(), wide_target, kWidePathSize))
    ks::RetryTransient(kOperation, "copy", wide_source,
                       [&] { return CopyFileW(wide_source, wide_target, FALSE) != FALSE; });
  KS_LOG(0, kOperation, "copy sSourceFile = %s, sTargetFile = %s", source.c_str(), target.c_str());

  return PutSetupLinesInFront(handler, false);
}

}  // namespace

SetupMessageBoxFunction g_pShowSetupMessage = &ShowSystemModalMessage;

// The package is checked first: a refused one stops no client and writes
// nothing. Then a running client is stopped, and the setup folder is this
// starter's alone until the program is started.
bool SetupHandler::ProcessDownloadedClient() {
  KS_LOG(0, kOperation, "Enter ...");
  return m_bClientFilesAvailable ? ProcessLocalArchives(*this) : ProcessDownloadedPackage(*this);
}
