#include "net/my_configure_win.h"

#include <windows.h>

#include <new>
#include <string>

#include "base/error_text.h"
#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/tag_field.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "net/cache_file_text.h"

namespace {

MyConfigure* g_oMyConfigure = nullptr;

const wchar_t kCacheFileMutexName[] = L"KSCacheFileMutex";
const DWORD kMutexWaitMs = 5000;
// The records take at most 4096 bytes; the other programs' fields are short
// too. A file far beyond that is not read into memory, nor rewritten.
const size_t kMaxCacheFileSize = 1024 * 1024;

// The whole file as text (CR LF becomes LF). Read raw rather than in text
// mode, which ends at a Ctrl-Z: a rewrite would drop the rest of the file.
bool ReadCacheFile(const char* operation, const char* path, std::string& text) {
  switch (Utility::ReadTextFileUpTo(path, kMaxCacheFileSize, text)) {
    case Utility::FileReadResult::kRead:
      return true;
    case Utility::FileReadResult::kTooLarge:
      KS_LOG(3, operation, "refused %s: larger than %d bytes", path, static_cast<int>(kMaxCacheFileSize));
      return false;
    case Utility::FileReadResult::kMissing:
      break;
  }
  KS_LOG(3, operation, "failed to open %s", path);
  return false;
}

CRITICAL_SECTION* ProcessCacheLock() {
  struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
  };
  static Lock lock;  // lives as long as the process
  return &lock.section;
}

// Both locks for one access: the process-wide critical section, then the
// named mutex. A mutex that cannot be had within 5 s is logged and the access
// goes ahead unprotected rather than blocking the request.
class CacheFileLock {
 public:
  explicit CacheFileLock(const char* operation) : owned_(false) {
    EnterCriticalSection(ProcessCacheLock());
    mutex_.reset(CreateMutexW(nullptr, FALSE, kCacheFileMutexName));
    DWORD wait = mutex_ ? WaitForSingleObject(mutex_.get(), kMutexWaitMs) : WAIT_FAILED;
    // An abandoned mutex is ours all the same; it must be released like any
    // other or it stays held by this thread.
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (wait != WAIT_OBJECT_0) {
      int code = static_cast<int>(GetLastError());
      KS_LOG(3, operation, "failed to WaitForSingleObject(CACHE_FILE_MUTEX) error code: %d, error: %s", code,
             GetErrorText(code));
    }
  }
  ~CacheFileLock() {
    if (owned_) ReleaseMutex(mutex_.get());
    mutex_.reset();
    LeaveCriticalSection(ProcessCacheLock());
  }
  CacheFileLock(const CacheFileLock&) = delete;
  CacheFileLock& operator=(const CacheFileLock&) = delete;

 private:
  ks::UniqueHandle mutex_;
  bool owned_;
};

}  // namespace

MyConfigure::MyConfigure(int off_switch) : m_iOffSwitch(off_switch) {
  m_sCacheFilePath[0] = '\0';
  m_wsCacheFilePath[0] = L'\0';
}

bool MyConfigure::Initialize(int off_switch) {
  if (g_oMyConfigure != nullptr) {
    KS_LOG(3, "MyConfigure::Initialize", "m_oMyConfigureSingleton exist");
    return false;
  }
  g_oMyConfigure = new (std::nothrow) MyConfigure(off_switch);
  return true;
}

MyConfigure* MyConfigure::GetInstance() { return g_oMyConfigure; }

bool MyConfigure::UseCacheFile(const char* path) {
  const char* operation = "MyConfigure::UseCacheFile";
  if (!ks::CopyText(m_sCacheFilePath, sizeof m_sCacheFilePath, path) ||
      !UTF8ToUTF16(m_sCacheFilePath, m_wsCacheFilePath, 512)) {
    m_sCacheFilePath[0] = '\0';
    m_wsCacheFilePath[0] = L'\0';
    KS_LOG(3, operation, "cache file path too long: %s", path ? path : "");
    return false;
  }
  if (m_iOffSwitch != 0) return true;
  CacheFileLock lock(operation);
  if (GetFileAttributesW(m_wsCacheFilePath) != INVALID_FILE_ATTRIBUTES) return true;

  // CREATE_NEW: another program creating the file at the same moment keeps
  // its own content.
  ks::UniqueHandle file(CreateFileW(m_wsCacheFilePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS) return true;
    KS_LOG(0, operation, "cannot create %s, error code: %d, error: %s", m_sCacheFilePath, static_cast<int>(code),
           GetErrorText(static_cast<int>(code)));
    return false;
  }
  std::string text;
  for (char c : ksnet::InitialCacheFileText()) {  // a text file: CR LF on disk
    if (c == '\n') text += '\r';
    text += c;
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    KS_LOG(3, operation, "failed to write %s", m_sCacheFilePath);
    return false;
  }
  KS_LOG(0, operation, "created %s", m_sCacheFilePath);
  return true;
}

bool MyConfigure::ReadConfigure(const char* opening_tag, const char* closing_tag, char* output, size_t capacity) {
  const char* operation = "MyConfigure::ReadConfigure";
  if (m_iOffSwitch != 0) return true;
  if (output != nullptr && capacity > 0) output[0] = '\0';
  if (output == nullptr || capacity == 0 || opening_tag == nullptr || closing_tag == nullptr) return false;

  std::string text;
  {
    CacheFileLock lock(operation);
    if (!ReadCacheFile(operation, m_sCacheFilePath, text)) return false;
  }
  std::string value;
  if (!Utility::GetTagValue(text.c_str(), opening_tag, closing_tag, value)) return false;
  if (!ks::CopyText(output, capacity, value.c_str())) {
    // A value the caller cannot hold is no value: half a record list would
    // name settings that were never stored.
    KS_LOG(3, operation, "value of %s too long (%d bytes) in %s", opening_tag, static_cast<int>(value.size()),
           m_sCacheFilePath);
    return false;
  }
  return true;
}

bool MyConfigure::WriteConfigure(const char* opening_tag, const char* closing_tag, const char* value) {
  const char* operation = "MyConfigure::WriteConfigure";
  if (value == nullptr) return false;
  if (m_iOffSwitch != 0) return true;
  if (opening_tag == nullptr || closing_tag == nullptr) return false;

  CacheFileLock lock(operation);
  std::string text;
  if (!ReadCacheFile(operation, m_sCacheFilePath, text)) return false;
  std::string updated;
  if (!ksnet::RewriteCacheField(text, opening_tag, closing_tag, value, updated)) return false;

  return Utility::ReplaceTextFile(operation, m_sCacheFilePath, updated);
}
