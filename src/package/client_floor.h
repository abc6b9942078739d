#pragma once
// The lowest client version a signed starter takes, set when it is built
// (the CMake option KS_MINIMUM_CLIENT_VERSION; empty by default: no floor).
// Compiled in, it is covered by the starter's own signature: no stamp, link
// or file can lower it. kstool verify takes it as its default floor.
namespace package {

extern const char kMinimumClientVersion[];

}  // namespace package
