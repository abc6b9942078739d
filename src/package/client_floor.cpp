// Alone in its file: a program with a floor of its own (a test starter)
// compiles a copy of this file with another definition, which the linker
// then takes in place of the core library's.
#include "package/client_floor.h"

#ifndef KS_MINIMUM_CLIENT_VERSION
#define KS_MINIMUM_CLIENT_VERSION ""
#endif

namespace package {

const char kMinimumClientVersion[] = KS_MINIMUM_CLIENT_VERSION;

}  // namespace package
