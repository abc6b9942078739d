#pragma once
// One starter at a time in the setup folder. A participant who clicks the
// meeting link twice runs two starters that would empty and unpack the same
// folder at once (each meeting the other's open files) and both start the
// launcher; a named mutex per user makes the second wait until the program
// the first started from the folder has ended (for a bounded time), or the
// first ended short, then do its own flow.
#include <windows.h>

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
  // Lets the next starter in once `process` (null when it cannot be
  // watched), started as `program` from the folder, has ended, or after
  // `limit_ms` at most, and logs which. At once when not held. The mutex
  // belongs to the thread that took it, which this keeps waiting meanwhile.
  void ReleaseWhenEnded(HANDLE process, const char* program, DWORD limit_ms = kProgramLimitMs);

  // Long enough for an installer to copy the client out of the folder;
  // short enough that a second starter, or a launcher that runs on with the
  // meeting, never keeps the participant waiting long.
  static const DWORD kProgramLimitMs = 120000;

  // "Local\KSSetupFolderMutex-" and the user's SID (or, failing that, name).
  static std::wstring Name();

 private:
  ks::UniqueHandle mutex_;
  bool held_ = false;
};
