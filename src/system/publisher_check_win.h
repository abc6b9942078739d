#pragma once
// Downloaded code runs only when it comes from the starter's own publisher.
// The package travels over plain HTTP, so anyone on the network path could
// replace the programs the starter then runs; the trust anchor is the
// starter's own Authenticode signature, which the operator applies before
// stamping (and with the same certificate to the client's programs). Nothing
// read at run time (settings, queries, parameter files, the registry) can
// turn the check off or name another publisher.

namespace PublisherCheck {

// At start-up: checks the starter's own file and remembers its signer. A
// starter that carries a signature expects that signer even when its own
// signature does not verify here (which is logged): a check that cannot be
// passed refuses, it never lets through.
void LearnOwnPublisher();

// Before a program taken from a package is started. True when the file's
// signature verifies and its signer has the subject and the public key of the
// starter's own signer; refused otherwise, with one log line naming the file,
// the result code and both subjects. An unsigned starter (a development or
// test copy) checks nothing and says so in the log once.
bool MayStart(const char* path);

}  // namespace PublisherCheck
