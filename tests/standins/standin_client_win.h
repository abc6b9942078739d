#pragma once
// Test-side helpers for the stand-in programs: where they are, ending one,
// and reading its start record.
#include <windows.h>

#include <string>

#include "base/handles_win.h"
#include "base/tag_field.h"
#include "base/wide_text.h"
#include "fixtures/win_test_util_win.h"

namespace standin_client {

inline std::string StandinPath(const char* program) { return kstest::BuildDir() + "\\standins\\" + program; }

inline bool HasEnded(HANDLE process, DWORD timeout_ms = 20000) {
  return WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0;
}

// Ends a stand-in a test left running.
inline void EnsureEnded(HANDLE process) {
  if (process != nullptr && !HasEnded(process, 0)) {
    TerminateProcess(process, 1);
    HasEnded(process, 5000);
  }
}

inline HWND ClientWindow() { return FindWindowW(L"KestrelonMainWindowClass", nullptr); }

// Where a stand-in started with KS_STANDIN_DIR=`folder` records its start.
inline std::string RecordPath(const std::string& folder, const std::string& program) {
  return folder + "\\standin_" + program + ".txt";
}

// True once a start record can be read. It appears by a rename, and under
// Wine the handle that renamed it keeps readers out for a moment after, so
// that it exists does not yet mean it can be read.
inline bool HasRecord(const std::string& record_path) {
  std::string record;
  return kstest::ReadFile(record_path, &record);
}

// Waits until the stand-in `program` has written its start record in `folder`.
inline bool WaitForRecord(const std::string& folder, const std::string& program, DWORD timeout_ms = 20000) {
  std::string path = RecordPath(folder, program);
  return kstest::WaitUntil([&path] { return HasRecord(path); }, timeout_ms);
}

// One field of a start record ("" when the record or the field is missing).
inline std::string RecordValue(const std::string& record_path, const char* field) {
  std::string record = kstest::ReadFileOrEmpty(record_path);
  std::string value;
  Utility::GetTagValue(record.c_str(), Utility::OpeningTag(field).c_str(), Utility::ClosingTag(field).c_str(), value);
  return value;
}

}  // namespace standin_client
