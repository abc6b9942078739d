#include "base/my_log_win.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/log_api.h"
#include "base/wide_text.h"

namespace {

MyLog* g_pLogInstance = nullptr;
int g_iLogStatus = 0;
char g_sLogStatusText[1024];
char g_sCurrentLogPath[512];

void ForwardToInstance(const char* operation, int level, const char* source_file, int line,
                       const char* format, va_list args) {
  if (g_pLogInstance != nullptr) g_pLogInstance->WriteV(operation, level, source_file, line, format, args);
}

void SetStatus(int status, const char* format, ...) KS_PRINTF_FORMAT(2, 3);
void SetStatus(int status, const char* format, ...) {
  g_iLogStatus = status;
  va_list args;
  va_start(args, format);
  vsnprintf(g_sLogStatusText, sizeof g_sLogStatusText, format, args);
  va_end(args);
}

bool FileExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Another program holds the file open without sharing it with us (or locks
// its bytes): the file is there, it only cannot be written just now.
bool HeldByAnotherProgram(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Whether the log could be copied now: a copy reads it while sharing only
// reading. A log that a writer holds cannot be saved as a backup.
bool CanBeCopied(const wchar_t* path) {
  ks::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

}  // namespace

MyLog::MyLog(const char* mode_name)
    : m_pFile(nullptr), m_iCurrentSize(0), m_iSizeLimit(kInitialSizeLimit) {
  m_sWorkingDirectory[0] = m_sLogPath[0] = m_sFirstBackupPath[0] = m_sSecondBackupPath[0] = '\0';
  m_sModeName[0] = '\0';
  m_wsLogPath[0] = m_wsFirstBackupPath[0] = m_wsSecondBackupPath[0] = L'\0';
  if (mode_name != nullptr) ks::CopyText(m_sModeName, sizeof m_sModeName, mode_name);
  InitializeCriticalSection(&m_oWriteLock);
}

MyLog::~MyLog() {
  if (m_pFile != nullptr) fclose(m_pFile);
  DeleteCriticalSection(&m_oWriteLock);
}

bool MyLog::Initialize(const char* mode_name) {
  if (g_pLogInstance != nullptr) {
    SetStatus(3, "More than log instance, reported from MyLog::Initialize()");
    return false;
  }
  MyLog* instance = new (std::nothrow) MyLog(mode_name);
  g_pLogInstance = instance;
  g_iLogStatus = 0;
  g_sLogStatusText[0] = '\0';
  if (instance != nullptr) kslog::SetSink(&ForwardToInstance);
  return true;
}

MyLog* MyLog::GetInstance() { return g_pLogInstance; }
int MyLog::GetLogStatus() { return g_iLogStatus; }
const char* MyLog::GetLogStatusText() { return g_sLogStatusText; }
const char* MyLog::GetCurrentLogPath() { return g_sCurrentLogPath; }

void MyLog::SetFileName(const char* file_name) { ks::CopyText(m_sLogPath, sizeof m_sLogPath, file_name); }

bool MyLog::GetWorkingDirectory() {
  try {
    if (strcmp(m_sModeName, "Server") == 0) {
      ks::CopyText(m_sWorkingDirectory, sizeof m_sWorkingDirectory, ".\\");
    } else if (m_sWorkingDirectory[0] == '\0') {
      wchar_t temp[512];
      DWORD length = GetTempPathW(512, temp);
      if (length == 0 || length >= 512) temp[0] = L'\0';
      // A directory whose UTF-8 form needs 512 bytes or more stays empty: the
      // log then goes to the current directory.
      if (!UTF16ToUTF8(temp, m_sWorkingDirectory, sizeof m_sWorkingDirectory)) m_sWorkingDirectory[0] = '\0';
    }
    m_iSizeLimit = kSizeLimit;

    bool paths_fit;
    if (strcmp(m_sModeName, "Server") == 0) {
      paths_fit = ks::FormatText(m_sLogPath, sizeof m_sLogPath, "%sRunServerLog.txt", m_sWorkingDirectory) &&
                  ks::FormatText(m_sFirstBackupPath, sizeof m_sFirstBackupPath, "%sRunServerLog.bak",
                                 m_sWorkingDirectory) &&
                  ks::FormatText(m_sSecondBackupPath, sizeof m_sSecondBackupPath, "%sRunServerLog.bak.bak",
                                 m_sWorkingDirectory);
    } else if (m_sLogPath[0] != '\0') {
      char file_name[512];
      ks::CopyText(file_name, sizeof file_name, m_sLogPath);
      paths_fit = ks::FormatText(m_sLogPath, sizeof m_sLogPath, "%s%s", m_sWorkingDirectory, file_name) &&
                  ks::FormatText(m_sFirstBackupPath, sizeof m_sFirstBackupPath, "%s.bak", m_sLogPath) &&
                  ks::FormatText(m_sSecondBackupPath, sizeof m_sSecondBackupPath, "%s.bak.bak", m_sLogPath);
    } else {
      paths_fit = ks::FormatText(m_sLogPath, sizeof m_sLogPath, "%srsp1024h.txt", m_sWorkingDirectory) &&
                  ks::FormatText(m_sFirstBackupPath, sizeof m_sFirstBackupPath, "%srsp1024h.bak",
                                 m_sWorkingDirectory) &&
                  ks::FormatText(m_sSecondBackupPath, sizeof m_sSecondBackupPath, "%srsp1024h.bak.bak",
                                 m_sWorkingDirectory);
    }
    ks::CopyText(g_sCurrentLogPath, sizeof g_sCurrentLogPath, m_sLogPath);
    if (!paths_fit || !UTF8ToUTF16(m_sLogPath, m_wsLogPath, 512) ||
        !UTF8ToUTF16(m_sFirstBackupPath, m_wsFirstBackupPath, 512) ||
        !UTF8ToUTF16(m_sSecondBackupPath, m_wsSecondBackupPath, 512)) {
      m_wsLogPath[0] = L'\0';
      SetStatus(3, "failed to create log file %s in MyLog::GetWorkingDirectory(), %d", m_sLogPath,
                static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
      return false;
    }

    // The previous run's log becomes the first backup and is started afresh;
    // one that cannot be saved is continued instead of emptied.
    FILE* file = _wfopen(m_wsLogPath, SaveToBackups() ? L"w" : L"a");
    if (file == nullptr) {
      DWORD error = GetLastError();
      SetStatus(3, "failed to create log file %s in MyLog::GetWorkingDirectory(), %d", m_sLogPath,
                static_cast<int>(error));
      // The log exists and another program holds it: its records are lost
      // while it does, but that is no reason to keep the user from the
      // meeting. Only a log that cannot be made at all ends the start.
      return HeldByAnotherProgram(error) && FileExists(m_wsLogPath);
    }
    fclose(file);
    return true;
  } catch (...) {
    SetStatus(3, "Exception happens in MyLog::Initialize()");
    return false;
  }
}

void MyLog::ApplyLevel(int level) {
  switch (level) {
    case 1:
      if (g_iLogStatus != 2 && g_iLogStatus != 3) g_iLogStatus = 1;
      break;
    case 2:
      if (g_iLogStatus != 3) g_iLogStatus = 2;
      break;
    case 3:
      g_iLogStatus = 3;
      break;
    default:
      break;
  }
}

// The first backup becomes the second and the log the first; false when the
// log exists and could not be saved, so that it must not be emptied. The
// backups are left alone then: turning them over would only lose the older one.
bool MyLog::SaveToBackups() {
  bool log_exists = FileExists(m_wsLogPath);
  if (log_exists && !CanBeCopied(m_wsLogPath)) return false;
  if (FileExists(m_wsFirstBackupPath)) CopyFileW(m_wsFirstBackupPath, m_wsSecondBackupPath, FALSE);
  return !log_exists || CopyFileW(m_wsLogPath, m_wsFirstBackupPath, FALSE) != 0;
}

// Closes the open file, moves the log into the backups and reopens it empty.
// A log that could not be saved is reopened for appending: it grows past the
// limit rather than losing its records, and the next record tries again.
bool MyLog::TurnOver() {
  fclose(m_pFile);
  m_pFile = nullptr;
  bool saved = SaveToBackups();
  if (saved) m_iCurrentSize = 0;
  m_pFile = _wfopen(m_wsLogPath, saved ? L"w" : L"a");
  if (m_pFile == nullptr) {
    SetStatus(3, "failed to create log file %s in MyLog::GetWorkingDirectory(), %d", m_sLogPath,
              static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

void MyLog::Write(const char* operation, int level, const char* source_file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(operation, level, source_file, line, format, args);
  va_end(args);
}

void MyLog::WriteV(const char* operation, int level, const char* /*source_file*/, int line, const char* format,
                   va_list args) {
  EnterCriticalSection(&m_oWriteLock);
  try {
    m_pFile = m_wsLogPath[0] ? _wfopen(m_wsLogPath, L"a") : nullptr;
    if (m_pFile == nullptr) {
      SetStatus(3, "failed to create log file %s in MyLog::GetWorkingDirectory()", m_sLogPath);
      LeaveCriticalSection(&m_oWriteLock);
      return;
    }
    long long size = Utility::FileSize(m_wsLogPath);
    if (size < 0) size = 0;

    SYSTEMTIME now;
    GetLocalTime(&now);
    ApplyLevel(level);
    std::string header = ks::Format("%d-%02d-%02d %02d:%02d:%02d\nFunction: %s\nLine: %d\nMessage: ", now.wYear,
                                    now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                    operation ? operation : "", line);
    size += static_cast<long long>(header.size());
    m_iCurrentSize = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    if (size > m_iSizeLimit && !TurnOver()) {
      LeaveCriticalSection(&m_oWriteLock);
      return;
    }

    fputs(header.c_str(), m_pFile);
    vfprintf(m_pFile, format ? format : "", args);
    fputs("\n\n", m_pFile);
    fflush(m_pFile);
    fclose(m_pFile);
    m_pFile = nullptr;
  } catch (...) {
    if (m_pFile != nullptr) {
      fclose(m_pFile);
      m_pFile = nullptr;
    }
    SetStatus(2, "Exception happens in MyLog::Write()");
  }
  LeaveCriticalSection(&m_oWriteLock);
}
