#pragma once
// Helpers for the Windows tests: paths of the built programs, scratch folders,
// running a program to completion or starting one, waiting for a condition
// and environment variables changed for a scope.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/handles_win.h"

namespace kstest {

// "Z:\..." form of a Unix path, as Wine's programs see it.
std::string WinPathOfUnix(const std::string& unix_path);

// The Windows build folder (build/win) and the source folder, in Windows form.
std::string BuildDir();
std::string SourceDir();

// The built kstool.
std::string KstoolPath();

// `text` in double quotes, as one argument of a command line.
inline std::string Quote(const std::string& text) { return "\"" + text + "\""; }

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A fresh, empty folder under the user's temporary folder, removed (with
// everything in it) on destruction unless kept.
class TempDir {
 public:
  explicit TempDir(const char* prefix = "kstest");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_;
};

bool MakeDirectory(const std::string& path);
bool RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
bool ReadFile(const std::string& path, std::string* content);
std::string ReadFileOrEmpty(const std::string& path);
bool WriteFile(const std::string& path, const std::string& content);
bool CopyFileTo(const std::string& from, const std::string& to);

// Keeps what a whole-starter run left (its log, a crash report) in the build
// tree's tests/explained/<name>.txt, where the explain check reads it after
// the runs (tests/e2e/explain_saved_runs_test.sh).
bool KeepForExplain(const std::string& name, const std::string& content);

struct ProcessResult {
  bool started = false;
  bool timed_out = false;
  DWORD exit_code = 0;
  std::string output;  // stdout and stderr together
};

// Runs `command_line` in `working_directory` (empty: the current one) and
// waits up to timeout_ms; extra_env entries are "NAME=value" added to (or
// replacing in) the current environment. A program that outlives the timeout
// is terminated.
ProcessResult RunProcess(const std::string& command_line, const std::string& working_directory,
                         DWORD timeout_ms, const std::vector<std::string>& extra_env = {});

// Runs the built kstool with `arguments` to its end.
ProcessResult RunKstool(const std::string& arguments);

// As RunProcess, but a program still running when `done` first answers true
// (asked every 50 ms) is ended there, without counting as timed out. For
// programs such as the starter whose window stays until a user closes it.
ProcessResult RunProcessUntil(const std::string& command_line, const std::string& working_directory,
                              DWORD timeout_ms, const std::vector<std::string>& extra_env,
                              const std::function<bool()>& done);

// Starts `command_line` in `directory` (empty: the current one) with the
// test's environment and does not wait for it; the process handle, empty when
// it could not be started.
ks::UniqueHandle StartProcess(const std::string& command_line, const std::string& directory = std::string(),
                              DWORD creation_flags = 0);

// Polls every 20 ms until the condition holds or `timeout_ms` passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = 20000);

// Sets an environment variable for the lifetime of this object (the
// programs started meanwhile inherit it) and restores the old state afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_;
};

// Points the user's temporary folder (TMP and TEMP) at `path` for the
// lifetime of this object.
class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::string& path) : tmp_(L"TMP", path), temp_(L"TEMP", path) {}

 private:
  ScopedEnvironment tmp_;
  ScopedEnvironment temp_;
};

}  // namespace kstest
