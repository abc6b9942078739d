#pragma once
// Running copies of the starter and kstool from the tests, reading the
// starter's log and the protocol registration it leaves.
#include <windows.h>

#include <string>
#include <vector>

#include "app/parameter_cipher.h"
#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "fixtures/win_test_util_win.h"

namespace apptest {

using kstest::Quote;
using kstest::RunKstool;

// Runs a test in a scratch folder made the process's current folder.
class InFolder {
 public:
  explicit InFolder(const char* prefix = "kscfg") : dir_(prefix) {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    previous_ = previous;
    SetCurrentDirectoryW(Widen(dir_.path().c_str()).c_str());
  }
  ~InFolder() { SetCurrentDirectoryW(previous_.c_str()); }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  kstest::TempDir dir_;
  std::wstring previous_;
};

// The installed client's folder "Kestrelon" beside the running program (here
// the test program), removed again afterwards.
class ClientFolder {
 public:
  ClientFolder() : path_(kstest::BuildDir() + "\\tests\\Kestrelon") {
    kstest::RemoveTree(path_);
    CreateDirectoryW(Widen(path_.c_str()).c_str(), nullptr);
  }
  ~ClientFolder() { kstest::RemoveTree(path_); }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// A copy of the starter under a chosen file name in a fresh folder, with a
// private temporary folder so its log is its own.
class StarterCopy {
 public:
  explicit StarterCopy(const std::string& file_name) : dir_("ksstarter"), name_(file_name) {
    kstest::MakeDirectory(dir_.File("tmp"));
    copied_ = kstest::CopyFileTo(kstest::BuildDir() + "\\KestrelonStarter.exe", Path());
  }
  bool copied() const { return copied_; }
  std::string Path() const { return dir_.File(name_); }
  const kstest::TempDir& dir() const { return dir_; }

  // Runs it (in its own folder) and returns its log. A copy that found
  // parameters goes on to the setup with its window open, as does one
  // started with a link it could not read; it is ended once its worker has
  // begun or the protocol was dealt with, when everything start-up logs is
  // written.
  std::string Run(const std::string& arguments = "") {
    std::string command = Quote(Path());
    if (!arguments.empty()) command += " " + arguments;
    std::string temp = dir_.File("tmp");
    std::string log_path = temp + "\\KSSetup.txt";
    last_ = kstest::RunProcessUntil(command, dir_.path(), 60000, {"TMP=" + temp, "TEMP=" + temp}, [&log_path] {
      std::string log = kstest::ReadFileOrEmpty(log_path);
      return log.find("Function: Utility::GetUserDirectory()") != std::string::npos ||
             log.find("Message: No Meeting Parameter, sClientName = ") != std::string::npos ||
             log.find("Message: invalid sCurrentFileName = ") != std::string::npos;
    });
    return kstest::ReadFileOrEmpty(log_path);
  }
  const kstest::ProcessResult& last() const { return last_; }

 private:
  kstest::TempDir dir_;
  std::string name_;
  bool copied_;
  kstest::ProcessResult last_;
};

// The messages of a log (a text-mode file: CR LF line ends), in order.
inline std::vector<std::string> LogMessages(const std::string& raw) {
  std::string log = raw;
  ks::CrLfToLf(log);
  std::vector<std::string> messages;
  const std::string marker = "\nMessage: ";
  size_t pos = 0;
  while ((pos = log.find(marker, pos)) != std::string::npos) {
    pos += marker.size();
    size_t end = log.find("\n\n", pos);
    if (end == std::string::npos) end = log.size();
    messages.push_back(log.substr(pos, end - pos));
    pos = end;
  }
  return messages;
}

// Index of the first message equal to `message` (or starting with it when
// prefix is set), or -1.
inline int FindMessage(const std::vector<std::string>& messages, const std::string& message, bool prefix = false) {
  for (size_t i = 0; i < messages.size(); ++i)
    if (prefix ? messages[i].compare(0, message.size(), message) == 0 : messages[i] == message)
      return static_cast<int>(i);
  return -1;
}

inline std::string ReadRegistryText(const std::string& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, Widen(key.c_str()).c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return "<missing>";
  return Narrow(value);
}

inline long long ReadRegistryNumber(const std::string& key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, Widen(key.c_str()).c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS)
    return -1;
  return value;
}

// Removes what a registration of `protocol` wrote, when the test ends.
class ProtocolCleanup {
 public:
  explicit ProtocolCleanup(const std::string& protocol) : protocol_(protocol) { Remove(); }
  ~ProtocolCleanup() { Remove(); }

 private:
  void Remove() {
    RegDeleteTreeW(HKEY_CURRENT_USER, Widen(("Software\\Classes\\" + protocol_).c_str()).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER,
                   Widen(("Software\\Microsoft\\Internet Explorer\\ProtocolExecute\\" + protocol_).c_str()).c_str());
  }
  std::string protocol_;
};

// `stem` followed by a run of one character, long enough that the query's
// enciphered Base64 form holds a '+' (only some characters at some positions
// give one); empty when none is found.
inline std::string QueryWithPlusInCipher(const std::string& stem) {
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (size_t n = 2; n < 44; ++n) {
    for (const char* c = alphabet; *c; ++c) {
      std::string query = stem + std::string(n, *c);
      if (Utility::EncodeParameter(query).find('+') != std::string::npos) return query;
    }
  }
  return std::string();
}

// A protocol name of this test process alone.
inline std::string UniqueName(const char* stem) { return stem + std::to_string(GetCurrentProcessId()); }

}  // namespace apptest
