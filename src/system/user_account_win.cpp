#include "system/user_account_win.h"

// Placeholder until the account and version tests are built.
bool IsSystemUser() { return false; }
bool IsVistaOrLater() { return true; }
bool IsWindowsXP() { return false; }
bool Utility::IsUserAdmin() { return false; }
