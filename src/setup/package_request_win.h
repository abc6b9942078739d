#pragma once
// What a run asks of the package it is about to take: the client and version
// it was started for, and the installed client it would replace.
#include "package/package_admission.h"

class SetupHandler;

// `needs_program`: the package must bring the launcher or installer the flow
// starts (not so the accessory archive).
package::PackageRequest PackageRequestOf(const SetupHandler& handler, bool needs_program);
