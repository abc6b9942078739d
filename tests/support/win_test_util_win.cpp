#include "support/win_test_util_win.h"

#include <cstdio>
#include <map>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/wide_text.h"

#ifndef KS_BINARY_DIR
#define KS_BINARY_DIR ""
#endif
#ifndef KS_SOURCE_DIR
#define KS_SOURCE_DIR ""
#endif

namespace kstest {

std::string WinPathOfUnix(const std::string& unix_path) {
  std::string out = "Z:";
  for (char c : unix_path) out += (c == '/') ? '\\' : c;
  return out;
}

std::string BuildDir() { return WinPathOfUnix(KS_BINARY_DIR); }
std::string SourceDir() { return WinPathOfUnix(KS_SOURCE_DIR); }
std::string KstoolPath() { return BuildDir() + "\\kstool.exe"; }

TempDir::TempDir(const char* prefix) : keep_(false) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::string base = Narrow(temp);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  static LONG counter = 0;
  for (;;) {
    char name[128];
    snprintf(name, sizeof name, "%s_%lu_%ld", prefix, GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = base + "\\" + name;
    if (CreateDirectoryW(Widen(path_.c_str()).c_str(), nullptr)) break;
  }
}

TempDir::~TempDir() {
  if (!keep_) RemoveTree(path_);
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(Widen(path.c_str()).c_str(), nullptr) != FALSE;
}

bool RemoveTree(const std::string& path) {
  std::wstring wide = Widen(path.c_str());
  WIN32_FIND_DATAW data;
  ks::UniqueFind find(FindFirstFileW((wide + L"\\*").c_str(), &data));
  if (find) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = wide + L"\\" + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(Narrow(full.c_str()));
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(find.get(), &data));
  }
  find.reset();
  return RemoveDirectoryW(wide.c_str()) != FALSE;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Widen(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadFile(const std::string& path, std::string* content) { return Utility::ReadWholeFile(path.c_str(), *content); }

std::string ReadFileOrEmpty(const std::string& path) {
  std::string content;
  ReadFile(path, &content);
  return content;
}

bool WriteFile(const std::string& path, const std::string& content) {
  ks::UniqueFile file(_wfopen(Widen(path.c_str()).c_str(), L"wb"));
  if (!file) return false;
  return fwrite(content.data(), 1, content.size(), file.get()) == content.size();
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  return CopyFileW(Widen(from.c_str()).c_str(), Widen(to.c_str()).c_str(), FALSE) != FALSE;
}

bool KeepForExplain(const std::string& name, const std::string& content) {
  std::string folder = BuildDir() + "\\tests\\explained";
  MakeDirectory(folder);
  return WriteFile(folder + "\\" + name + ".txt", content);
}

namespace {

// The current environment with `extra` applied, as a double-zero-ended block.
std::wstring BuildEnvironment(const std::vector<std::string>& extra) {
  std::map<std::wstring, std::wstring> entries;  // by upper-cased name: "NAME=value" as given
  auto add = [&entries](const std::wstring& entry) {
    size_t eq = entry.find(L'=', 1);  // names such as "=C:" start with '='
    if (eq == std::wstring::npos) return;
    std::wstring upper = entry.substr(0, eq);
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    entries[upper] = entry;
  };
  wchar_t* block = GetEnvironmentStringsW();
  for (wchar_t* p = block; *p; p += wcslen(p) + 1) add(p);
  FreeEnvironmentStringsW(block);
  for (const std::string& e : extra) add(Widen(e.c_str()));
  std::wstring out;
  for (const auto& kv : entries) {
    out += kv.second;
    out += L'\0';
  }
  out += L'\0';
  return out;
}

}  // namespace

ProcessResult RunProcess(const std::string& command_line, const std::string& working_directory,
                         DWORD timeout_ms, const std::vector<std::string>& extra_env) {
  return RunProcessUntil(command_line, working_directory, timeout_ms, extra_env, std::function<bool()>());
}

ProcessResult RunKstool(const std::string& arguments) {
  return RunProcess(Quote(KstoolPath()) + " " + arguments, "", 60000);
}

ProcessResult RunProcessUntil(const std::string& command_line, const std::string& working_directory,
                              DWORD timeout_ms, const std::vector<std::string>& extra_env,
                              const std::function<bool()>& done) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
  ks::UniqueHandle reader(read_end);
  ks::UniqueHandle writer(write_end);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION info = {};
  std::wstring command = Widen(command_line.c_str());
  std::wstring directory = Widen(working_directory.c_str());
  std::wstring environment = BuildEnvironment(extra_env);
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      &environment[0], directory.empty() ? nullptr : directory.c_str(), &startup, &info))
    return result;
  result.started = true;
  ks::UniqueHandle process(info.hProcess);
  ks::UniqueHandle thread(info.hThread);
  writer.reset();  // the child holds the only write end now

  DWORD start = GetTickCount();
  DWORD last_check = start;
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    while (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      if (!::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      result.output.append(buffer, got);
    }
    if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) break;
    if (done && GetTickCount() - last_check >= 50) {
      last_check = GetTickCount();
      if (done()) {
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 5000);
        break;
      }
    }
    if (GetTickCount() - start > timeout_ms) {
      result.timed_out = true;
      TerminateProcess(process.get(), 259);
      WaitForSingleObject(process.get(), 5000);
      break;
    }
  }
  DWORD got = 0;
  DWORD available = 0;
  while (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    result.output.append(buffer, got);
  GetExitCodeProcess(process.get(), &result.exit_code);
  return result;
}

ks::UniqueHandle StartProcess(const std::string& command_line, const std::string& directory, DWORD creation_flags) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring command = Widen(command_line.c_str());
  std::wstring folder = Widen(directory.c_str());
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, creation_flags, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return ks::UniqueHandle();
  CloseHandle(info.hThread);
  return ks::UniqueHandle(info.hProcess);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::string& value) : name_(name), had_(false) {
  wchar_t old[2048];
  DWORD length = GetEnvironmentVariableW(name, old, 2048);
  if (length > 0 && length < 2048) {
    had_ = true;
    old_ = old;
  }
  SetEnvironmentVariableW(name, Widen(value.c_str()).c_str());
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

}  // namespace kstest
