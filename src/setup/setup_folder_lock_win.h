#pragma once
// One starter at a time in the setup folder. A participant who clicks the
// meeting link twice runs two starters that would empty and unpack the same
// folder at once (each meeting the other's open files) and both start the
// launcher; a named mutex per user makes the second wait until the first has
// started its program or ended short, then do its own flow.
#include <string>

#include "base/handles_win.h"

class SetupFolderLock {
 public:
  SetupFolderLock() = default;
  ~SetupFolderLock() { Release(); }
  SetupFolderLock(const SetupFolderLock&) = delete;
  SetupFolderLock& operator=(const SetupFolderLock&) = delete;

  // Waits until no other starter of this user holds it. A holder that ended
  // without letting go (it was killed) counts as gone. False only when the
  // mutex cannot be made or waited for, which is logged; the flow then goes
  // on unguarded rather than not at all.
  bool Acquire();
  // Lets the next starter in; nothing when not held.
  void Release();

  // "Local\KSSetupFolderMutex-" and the user's SID (or, failing that, name).
  static std::wstring Name();

 private:
  ks::UniqueHandle mutex_;
  bool held_ = false;
};
