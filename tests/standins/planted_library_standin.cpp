// A library planted beside a program under the name of one the program
// loads. Loaded, it leaves "<its file name>.loaded" beside itself and refuses
// to stay, so a run that loaded it shows both the marker and the failed load.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH + 8];
  DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  lstrcpyW(marker + length, L".loaded");
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return FALSE;
}
