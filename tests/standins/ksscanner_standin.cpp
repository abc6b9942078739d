// Stand-in for an on-access virus scanner: every new file below the folder
// --watch=<folder> is opened alone (no sharing) as soon as its writer lets go
// of it, and held --hold=<ms> (default 1500) before it is let go, once per
// file. Each file held is appended to --record=<file> as "held <path>".
// Runs until ended; the folder need not exist yet.
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "standin_record.h"

namespace {

struct Held {
  HANDLE handle;
  DWORD until;
};

void ListFiles(const std::wstring& folder, std::vector<std::wstring>* files) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(path, files);
    else
      files->push_back(path);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

void Record(const std::wstring& record, const std::wstring& path) {
  if (record.empty()) return;
  FILE* file = _wfopen(record.c_str(), L"a");
  if (file == nullptr) return;
  fwprintf(file, L"held %ls\n", path.c_str());
  fclose(file);
}

}  // namespace

int wmain() {
  std::wstring folder = standin::Option(L"watch", L"KS_SCANNER_WATCH");
  std::wstring record = standin::Option(L"record", L"KS_SCANNER_RECORD");
  DWORD hold_ms = standin::NumberOption(standin::Option(L"hold", L"KS_SCANNER_HOLD_MS"), 1500);
  if (folder.empty()) {
    fwprintf(stderr, L"usage: KSScanner --watch=<folder> [--hold=<ms>] [--record=<file>]\n");
    return 2;
  }
  std::set<std::wstring> done;
  std::map<std::wstring, Held> held;
  for (;;) {
    std::vector<std::wstring> files;
    ListFiles(folder, &files);
    for (const std::wstring& path : files) {
      if (done.count(path)) continue;
      // Fails while the writer still has it open: tried again next round.
      HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (handle == INVALID_HANDLE_VALUE) continue;
      done.insert(path);
      held[path] = {handle, GetTickCount() + hold_ms};
      Record(record, path);
    }
    for (auto it = held.begin(); it != held.end();) {
      if (static_cast<LONG>(GetTickCount() - it->second.until) >= 0) {
        CloseHandle(it->second.handle);
        it = held.erase(it);
      } else {
        ++it;
      }
    }
    Sleep(2);
  }
}
