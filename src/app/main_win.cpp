#include <windows.h>

#include "app/bootwick_app_win.h"
#include "app/library_search_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR command_line, int /*show*/) {
  RestrictLibrarySearch();
  // The one application object of the process, never destroyed: a worker
  // that outlives the window may still notify through it while the process
  // ends, and the process end reclaims it.
  BootwickApp* theApp = new BootwickApp();
  theApp->InitInstance(instance, command_line);
  return 0;
}
