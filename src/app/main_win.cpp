#include <windows.h>

#include "app/bootwick_app_win.h"
#include "app/library_search_win.h"

// The one application object of the process.
static BootwickApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR command_line, int /*show*/) {
  RestrictLibrarySearch();
  theApp.InitInstance(instance, command_line);
  return 0;
}
