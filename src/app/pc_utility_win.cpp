#include "app/pc_utility_win.h"

// Placeholder until the registry writes are built.
bool PCUtility::RegisterStarter(const char* /*starter_path*/, const char* /*protocol_name*/) { return false; }
