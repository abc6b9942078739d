#pragma once
// What the launch and memory benchmarks share: the folders a starter runs
// with, starting a program with a few environment variables changed, the
// system's own process timestamps, writing small files, the stand-ins' start
// records and the figures Linux keeps for the process behind a Wine program.
// (Files are read with the core library's Utility::ReadWholeFile.)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/tag_field.h"
#include "base/wide_text.h"

namespace bench {

// The full Windows form of a path given on the command line ('/' becomes '\').
inline std::string FullPath(const char* path) {
  wchar_t full[1024];
  DWORD length = GetFullPathNameW(Widen(path).c_str(), 1024, full, nullptr);
  return (length == 0 || length >= 1024) ? std::string(path) : Narrow(full);
}

// The folders a starter under measurement works in: its own, "tmp" beside it
// as its temporary folder (its log "KSSetup.txt" goes there) and "records",
// where the stand-ins it starts record their starts.
struct StarterFolders {
  std::string run;
  std::string temp;
  std::string records;
};

// The folders of the starter at the full path `starter`; "tmp" and "records"
// are made when missing.
inline StarterFolders MakeStarterFolders(const std::string& starter) {
  StarterFolders folders;
  folders.run = starter.substr(0, starter.find_last_of('\\'));
  folders.temp = folders.run + "\\tmp";
  folders.records = folders.run + "\\records";
  CreateDirectoryW(Widen(folders.temp.c_str()).c_str(), nullptr);
  CreateDirectoryW(Widen(folders.records.c_str()).c_str(), nullptr);
  return folders;
}

// The environment changes that send the starter's temporary files and the
// stand-ins' records into those folders.
inline std::vector<std::string> StarterEnvironment(const StarterFolders& folders) {
  return {"TMP=" + folders.temp, "TEMP=" + folders.temp, "KS_STANDIN_DIR=" + folders.records};
}

// Seconds since 1601 from a FILETIME (100 ns units).
inline double Seconds(const FILETIME& time) {
  return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
         1e7;
}

// Creation and exit time of a process as the system records them, in the
// clock of Seconds(); exit is 0 while it runs.
inline bool ProcessTimes(HANDLE process, double* created, double* exited) {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
  *created = Seconds(creation);
  *exited = (exit.dwHighDateTime == 0 && exit.dwLowDateTime == 0) ? 0 : Seconds(exit);
  return true;
}

// The current environment with `changes` ("NAME=value") added or replacing
// variables of the same name, as a block for CreateProcessW.
inline std::wstring EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::wstring> entries;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) entries.push_back(p);
  FreeEnvironmentStringsW(block);
  for (const std::string& change : changes) {
    std::wstring wide = Widen(change.c_str());
    std::wstring name = wide.substr(0, wide.find(L'=') + 1);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&name](const std::wstring& e) { return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0; }),
                  entries.end());
    entries.push_back(wide);
  }
  std::wstring result;
  for (const std::wstring& entry : entries) result += entry + L'\0';
  return result + L'\0';
}

// Starts `command_line` in `directory` (empty: this one) with the changed
// environment; an empty handle when it could not be started.
inline ks::UniqueHandle Start(const std::string& command_line, const std::string& directory,
                              const std::vector<std::string>& environment_changes) {
  std::wstring command = Widen(command_line.c_str());
  std::wstring folder = Widen(directory.c_str());
  std::wstring environment = EnvironmentWith(environment_changes);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &environment[0],
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return ks::UniqueHandle();
  CloseHandle(info.hThread);
  return ks::UniqueHandle(info.hProcess);
}

// Ends a program the benchmark started (or had started) if it still runs.
inline void EnsureEnded(HANDLE process) {
  if (process != nullptr && WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
}

inline bool WriteFileText(const std::string& path, const std::string& content) {
  ks::UniqueFile file(_wfopen(Widen(path.c_str()).c_str(), L"wb"));
  return file && fwrite(content.data(), 1, content.size(), file.get()) == content.size() && fflush(file.get()) == 0;
}

inline bool Exists(const std::string& path) {
  return GetFileAttributesW(Widen(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One field of a stand-in's start record ("" when missing).
inline std::string RecordField(const std::string& record, const char* field) {
  std::string value;
  Utility::GetTagValue(record.c_str(), Utility::OpeningTag(field).c_str(), Utility::ClosingTag(field).c_str(), value);
  return value;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace bench
