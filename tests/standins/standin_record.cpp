#include "standin_record.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace standin {
namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], needed, nullptr, nullptr);
  out.resize(static_cast<size_t>(needed - 1));
  return out;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024];
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return (length == 0 || length >= 1024) ? std::wstring() : std::wstring(value, length);
}

std::string Tag(const char* name, const std::string& value) {
  return std::string("<__") + name + "__>" + value + "</__" + name + "__>\r\n";
}

}  // namespace

void RecordStart(const wchar_t* program_name, const std::wstring& directory) {
  wchar_t working[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, working);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

  std::string record = Tag("Program", Utf8(program_name)) + Tag("CommandLine", Utf8(GetCommandLineW())) +
                       Tag("WorkingDirectory", Utf8(working)) + Tag("ShowWindow", std::to_string(show)) +
                       Tag("ProcessId", std::to_string(GetCurrentProcessId()));

  std::wstring folder = directory.empty() ? Environment(L"KS_STANDIN_DIR") : directory;
  if (folder.empty()) folder = working;
  std::wstring path = folder + L"\\standin_" + program_name + L".txt";
  std::wstring partial = path + L".part";
  FILE* file = _wfopen(partial.c_str(), L"wb");
  if (file == nullptr) return;
  fwrite(record.data(), 1, record.size(), file);
  fclose(file);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring Option(const wchar_t* switch_name, const wchar_t* environment_name) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring prefix = std::wstring(L"--") + switch_name + L"=";
  std::wstring value;
  bool found = false;
  for (int i = 1; arguments != nullptr && i < count && !found; ++i) {
    if (wcsncmp(arguments[i], prefix.c_str(), prefix.size()) == 0) {
      value = arguments[i] + prefix.size();
      found = true;
    }
  }
  LocalFree(arguments);
  return found ? value : Environment(environment_name);
}

unsigned long NumberOption(const std::wstring& value, unsigned long fallback) {
  if (value.empty()) return fallback;
  wchar_t* end = nullptr;
  unsigned long number = wcstoul(value.c_str(), &end, 10);
  return (end == nullptr || *end != L'\0') ? fallback : number;
}

}  // namespace standin
