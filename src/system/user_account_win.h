#pragma once
// Who the starter runs as, and on what system.

// The current user name, upper-cased, equals "SYSTEM".
bool IsSystemUser();
// NT family, major version above 5.
bool IsVistaOrLater();
// NT family, version 5.1.
bool IsWindowsXP();

namespace Utility {
// Member of the local Administrators group (enabled or deny-only).
bool IsUserAdmin();
}  // namespace Utility
