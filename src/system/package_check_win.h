#pragma once
// The whole package is the publisher's, or nothing of it is used. A signed
// starter takes a package only when it ends with a signature entry whose
// signature, by the starter's own publisher, covers every byte before it
// (package/package_signature.h); the check runs on the bytes in memory,
// before anything is stopped, reported, written or unpacked, and what is
// unpacked afterwards are exactly the bytes it checked.
#include <cstddef>

#include "package/package_admission.h"

namespace PackageCheck {

// Checks the package `bytes` (read from or saved as `path`, which names it
// in the log) against what the run asks for in `request` (client, version,
// installed version, whether a program must come with it); the floor and the
// time are the starter's own. True when it may be unpacked; `unpack_size`
// then tells how many of its bytes to unpack: those before the signature
// entry, which is never unpacked. Refused otherwise, with one log line
// "Refused package <path> (<what>: <detail>)", <what> being "no signature",
// "bad signature", "digest mismatch", "other signer", "entries after the
// signature", one of package::AdmitPackage's refusals (the package is not the
// one asked for) or, when the starter's own signature cannot be verified,
// "starter not verified". An unsigned starter (no certificate table) takes
// every package whole, as it always did, and says so in the log once.
bool Verify(const char* path, const unsigned char* bytes, size_t size, package::PackageRequest request,
            size_t* unpack_size);

// For a package file that cannot be read whole (system error `error`): an
// unsigned starter lets its unpacker read the file as it always did; a signed
// one refuses it ("no signature").
bool MayUseUnread(const char* path, unsigned long error);

}  // namespace PackageCheck
