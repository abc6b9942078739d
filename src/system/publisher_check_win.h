#pragma once
// Downloaded code runs only when it comes from the starter's own publisher.
// The package travels over plain HTTP, so anyone on the network path could
// replace the programs the starter then runs; the trust anchor is the
// starter's own Authenticode signature (system/own_signer_win.h). Nothing
// read at run time (settings, queries, parameter files, the registry) can
// turn the check off or name another publisher.
#include "base/handles_win.h"

namespace PublisherCheck {

// Before a program taken from a package is started. True when the file's
// signature verifies and its signer has the subject and the public key of
// the starter's own signer; `hold` then keeps the file open, denying others
// to write, rename or delete it, and must be kept until the program's
// process exists: the file checked is the file started. Refused otherwise
// (also whenever the starter's own signature cannot be verified), with one
// log line naming the file, the reason, the result code and both subjects.
// An unsigned starter (a development or test copy) checks nothing and says
// so in the log once.
bool MayStart(const char* path, ks::UniqueHandle* hold);

}  // namespace PublisherCheck
