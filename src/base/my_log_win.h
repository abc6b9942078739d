#pragma once
// The process-wide diagnostic log: one record per event, each opened, appended
// and closed under a lock so it is on disk (and readable by other processes and
// the crash reporter) the moment Write returns. The previous run's log and the
// one before it survive as ".bak" and ".bak.bak".
#include <windows.h>

#include <cstdarg>

#include "base/text.h"

class MyLog {
 public:
  static const int kInitialSizeLimit = 102400;
  static const int kSizeLimit = 1024000;

  // Creates the one instance; false when one exists already.
  static bool Initialize(const char* mode_name);
  static MyLog* GetInstance();

  // Before GetWorkingDirectory: the bare file name ("KSSetup.txt").
  void SetFileName(const char* file_name);

  // Chooses the directory and paths, turns over the previous run's files and
  // creates the empty log file.
  bool GetWorkingDirectory();

  void Write(const char* operation, int level, const char* source_file, int line, const char* format, ...)
      KS_PRINTF_FORMAT(6, 7);
  void WriteV(const char* operation, int level, const char* source_file, int line, const char* format,
              va_list args);

  const char* GetLogPath() const { return m_sLogPath; }

  // Process-wide status: the highest level seen and the text of the log's own
  // last failure. The current log path is what the crash reporter attaches.
  static int GetLogStatus();
  static const char* GetLogStatusText();
  static const char* GetCurrentLogPath();

  // Instances other than the process log exist only in tests.
  explicit MyLog(const char* mode_name);
  ~MyLog();
  MyLog(const MyLog&) = delete;
  MyLog& operator=(const MyLog&) = delete;

 private:
  void ApplyLevel(int level);
  bool SaveToBackups();
  bool TurnOver();

  char m_sWorkingDirectory[512];
  char m_sLogPath[512];
  char m_sFirstBackupPath[512];
  char m_sSecondBackupPath[512];
  char m_sModeName[512];
  FILE* m_pFile;
  CRITICAL_SECTION m_oWriteLock;
  int m_iCurrentSize;
  int m_iSizeLimit;
  wchar_t m_wsLogPath[512];
  wchar_t m_wsFirstBackupPath[512];
  wchar_t m_wsSecondBackupPath[512];
};
