#pragma once
// Walks a package archive entry by entry and writes each file below a
// destination directory. Everything the walk does outside itself (paths,
// directories, files, the list of skipped files, the system error) goes
// through UnpackTarget, so the same walk runs over real files and, in tests
// and fuzzing, over memory.
#include <cstdint>

#include "package/byte_stream.h"

namespace package {

class UnpackTarget {
 public:
  virtual ~UnpackTarget() {}
  // The full target path fits what the file system takes.
  virtual bool PathFits(const char* path) = 0;
  // Creates the directory with every missing parent; the shell's result
  // code, where 0, 80 (file exists) and 183 (already exists) are success.
  virtual int CreateDirectories(const char* directory) = 0;
  // Creates the target file for writing, replacing an existing one; null
  // when it cannot be created.
  virtual ByteSink* CreateOutput(const char* path) = 0;
  // Closes the file CreateOutput opened; false when its data did not all
  // reach the disk.
  virtual bool CloseOutput() = 0;
  // Logs the line with the calling thread's last system error that precedes
  // every failure.
  virtual void LogErrorCode() = 0;
  // The file of an entry could not be created or written whole (after the
  // failure's own lines, the system error already read by LogErrorCode).
  virtual void EntryFailed(const char* path) = 0;
};

// True when the archive was read to its end; false at the first failure,
// which is logged. A file that cannot be created or written ends the walk:
// an install must not go on without it. Names that would lead outside the
// destination, malformed names, oversized bodies and target paths the file
// system cannot take are failures, and nothing of such an entry is written.
bool UnpackEntries(ByteSource& archive, const char* destination, UnpackTarget& target);

}  // namespace package
