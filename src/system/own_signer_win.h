#pragma once
// The starter's own publisher: the trust anchor of every check of what a
// package brings. The operator signs the starter before stamping it, and
// signs the client's programs and packages with the same certificate. It is
// learnt from the starter's own file when a package or a package program is
// first to be checked, never on the launch road.
#include <windows.h>

#include <string>

#include "system/authenticode_win.h"

class OwnSigner {
 public:
  enum class State {
    kUnsigned,     // the file has no certificate table: a development or test copy
    kVerified,     // its signature verifies; certificate() is its signer
    kNotVerified,  // signed, but its signature cannot be verified or read: why() says why
  };

  // Learns it on the first call (once per process, from any thread).
  static const OwnSigner& Get();

  State state() const { return state_; }
  PCCERT_CONTEXT certificate() const { return certificate_.get(); }
  const std::string& why() const { return why_; }

  // Where every check of what a package brings starts: an unsigned starter
  // lets `path` through (kLetThrough) and says so in the log once per run,
  // naming the first thing it let through; a starter whose own signature
  // cannot be verified refuses it (kRefuse, why() says why); a verified one
  // checks it against certificate() (kCheck).
  enum class Start { kLetThrough, kRefuse, kCheck };
  static Start BeginCheck(const char* operation, const char* path, const OwnSigner** own);

 private:
  OwnSigner() = default;
  void Learn();

  State state_ = State::kNotVerified;
  ks::UniqueCertificate certificate_;
  std::string why_;
};
