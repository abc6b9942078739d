#include "setup/kept_part_file_win.h"

#include <windows.h>

#include <share.h>

#include <cstdio>
#include <ctime>

#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"
#include "setup/setup_downloader_win.h"

namespace {

const char kOperation[] = "SetupHandler::KeptPart";
const char kFileName[] = "KSDownload.part";

}  // namespace

KeptPartFile::KeptPartFile(const char* temp_directory) : head_length_(0) {
  if (temp_directory == nullptr || temp_directory[0] == '\0') return;
  narrow_path_ = ks::Format("%s\\%s", temp_directory, kFileName);
  path_ = Widen(narrow_path_.c_str());
}

bool KeptPartFile::Find(const std::string& server, int size, KeptPart* part) {
  if (path_.empty()) return false;
  // Held open, barring writers, until its bytes are read: another starter of
  // this user that keeps its own cut part meanwhile cannot put its bytes
  // under the head read here.
  file_.reset(_wfsopen(path_.c_str(), L"rb", _SH_DENYWR));
  if (!file_) return false;
  char head[kKeptHeadLimit];
  size_t length = fread(head, 1, sizeof head, file_.get());
  const char* mismatch = nullptr;
  if (!ReadKeptHead(head, length, part, &head_length_)) {
    mismatch = "no kept part";
  } else if (_fseeki64(file_.get(), 0, SEEK_END) != 0 ||
             _ftelli64(file_.get()) != static_cast<long long>(head_length_) + part->kept) {
    mismatch = "its bytes are not all there";
  } else {
    mismatch = KeptPartMismatch(*part, server, size, static_cast<long long>(time(nullptr)));
  }
  if (mismatch == nullptr) return true;
  Remove(mismatch);
  return false;
}

bool KeptPartFile::ReadBytes(const KeptPart& part, unsigned char* buffer) {
  bool read = file_ && _fseeki64(file_.get(), static_cast<long long>(head_length_), SEEK_SET) == 0 &&
              fread(buffer, 1, static_cast<size_t>(part.kept), file_.get()) == static_cast<size_t>(part.kept);
  file_.reset();
  if (!read) KS_LOG(3, kOperation, "could not read the %d bytes kept in %s", part.kept, narrow_path_.c_str());
  return read;
}

bool KeptPartFile::Keep(const KeptPart& part, const unsigned char* bytes) {
  std::string head = KeptHead(part);
  if (path_.empty() || head.empty()) return false;
  // Taken alone: two starters cut at once must not write into one staging
  // file; the one refused keeps nothing, which only costs it a resume.
  std::wstring staged = path_ + L".new";
  ks::UniqueFile file(_wfsopen(staged.c_str(), L"wb", _SH_DENYRW));
  bool staging = static_cast<bool>(file);
  bool written = file && fwrite(head.data(), 1, head.size(), file.get()) == head.size() &&
                 fwrite(bytes, 1, static_cast<size_t>(part.kept), file.get()) == static_cast<size_t>(part.kept);
  written = file && fclose(file.release()) == 0 && written;
  if (written && MoveFileExW(staged.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    KS_LOG(0, kOperation, "kept %d of %d bytes in %s for the next run, validator %s", part.kept, part.size,
           narrow_path_.c_str(), part.validator.c_str());
    return true;
  }
  int code = static_cast<int>(GetLastError());
  if (staging) DeleteFileW(staged.c_str());
  KS_LOG(3, kOperation, "could not keep %d bytes in %s, error code: %d", part.kept, narrow_path_.c_str(), code);
  return false;
}

void KeptPartFile::Remove(const char* why) {
  file_.reset();
  if (path_.empty() || GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  if (DeleteFileW(path_.c_str()))
    KS_LOG(0, kOperation, "removed %s: %s", narrow_path_.c_str(), why);
  else
    KS_LOG(3, kOperation, "could not remove %s (%s), error code: %d", narrow_path_.c_str(), why,
           static_cast<int>(GetLastError()));
}

int KeptPartFile::Resume(const std::string& server, SetupDownloader* downloader) {
  KeptPart part;
  if (!Find(server, downloader->m_iExpectedSize, &part)) return 0;
  if (!downloader->AllocatePackage() || !ReadBytes(part, downloader->m_pPackage)) {
    Remove("its bytes could not be read");
    return 0;
  }
  resumed_ = part;
  downloader->m_iHeldBytes = part.kept;
  downloader->m_sHeldValidator = part.validator;
  KS_LOG(0, kOperation, "resuming with %d of %d bytes kept in %s, validator %s", part.kept, part.size,
         narrow_path_.c_str(), part.validator.c_str());
  return part.kept;
}

void KeptPartFile::KeepForNextRun(const std::string& server, const SetupDownloader& downloader) {
  int held = downloader.m_iHeldBytes;
  if (held <= 0 || downloader.m_pPackage == nullptr) return;  // nothing came: what was kept still holds
  if (downloader.m_sHeldValidator.empty()) {
    Remove("the package came without a validator");
    return;
  }
  if (held == resumed_.kept && downloader.m_sHeldValidator == resumed_.validator) return;
  KeptPart part;
  part.server = server;
  part.size = downloader.m_iExpectedSize;
  part.kept = held;
  part.validator = downloader.m_sHeldValidator;
  part.time = static_cast<long long>(time(nullptr));
  if (!Keep(part, downloader.m_pPackage)) Remove("what came could not be kept");
}
