// Stand-in for the client's installer (and, copied, its launcher): records how
// it was started and ends, or first waits --wait=<ms> (KS_STANDIN_WAIT_MS) so
// that tests can find it running.
#include <windows.h>

#include "standin_record.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  // Named after its own file, so the copy KSLauncher.exe records as such.
  std::wstring name = path;
  size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  standin::RecordStart(name.c_str());
  Sleep(standin::NumberOption(standin::Option(L"wait", L"KS_STANDIN_WAIT_MS"), 0));
  return 0;
}
