#include "package/package_unpack.h"

#include "package/package_entry.h"
#include "package/package_inflate.h"
#include "package/zlibpp_log.h"

namespace package {
namespace {

// Logs the system-error line and then the failure itself; always false.
bool Fail(UnpackTarget& target, const char* message) {
  target.LogErrorCode();
  ZLIBPP_LOG("%s", message);
  return false;
}

// Reads one entry after its name length and writes (or skips) its file.
bool UnpackEntry(ByteSource& archive, uint32_t name_length, const char* destination, UnpackTarget& target) {
  char name[kNameBufferSize];
  switch (ReadEntryName(archive, name_length, name)) {
    case EntryStatus::kOk:
      break;
    case EntryStatus::kNameLengthInvalid:
      target.LogErrorCode();
      ZLIBPP_LOG("invalid name length %u", static_cast<unsigned>(name_length));
      return false;
    case EntryStatus::kNameUnterminated:
      return Fail(target, "name without its zero byte");
    default:
      return Fail(target, "fread error");
  }
  if (!IsSafeEntryName(name)) {
    target.LogErrorCode();
    ZLIBPP_LOG("refused name %s: it leads outside the destination", name);
    return false;
  }

  char path[kTargetPathBufferSize];
  if (!BuildTargetPath(destination, name, path, sizeof path) || !target.PathFits(path)) {
    target.LogErrorCode();
    ZLIBPP_LOG("target path too long: %s\\%s", destination, name);
    return false;
  }

  char directory[kTargetPathBufferSize];
  if (DirectoryToCreate(path, directory, sizeof directory)) {
    int result = target.CreateDirectories(directory);
    if (result != 0 && result != 80 && result != 183) {
      target.LogErrorCode();
      ZLIBPP_LOG("SHCreateDirectoryEx error: %s, error code = %d", path, result);
      return false;
    }
  }

  uint32_t body_length = 0;
  uint16_t mask = 0;
  switch (ReadEntrySizes(archive, &body_length, &mask)) {
    case EntryStatus::kOk:
      break;
    case EntryStatus::kLengthUnreadable:
      return Fail(target, "fread lFileLength error");
    case EntryStatus::kMaskUnreadable:
      return Fail(target, "fread iFileMask error");
    default:
      target.LogErrorCode();
      ZLIBPP_LOG("lFileLength too large: %u", static_cast<unsigned>(body_length));
      return false;
  }

  ByteSink* output = target.CreateOutput(path);
  if (output == nullptr) {
    target.LogErrorCode();
    target.EntryFailed(path);
    return false;
  }

  uint32_t unused = 0;
  InflateResult result = InflateBody(archive, body_length, *output, &unused);
  if (result == InflateResult::kWriteError) {
    target.LogErrorCode();
    target.CloseOutput();
    ZLIBPP_LOG("fwrite error");
    target.EntryFailed(path);
    return false;
  }
  bool stored = target.CloseOutput();
  switch (result) {
    case InflateResult::kStreamError:
      return Fail(target, "iErr != Z_OK && iErr != Z_STREAM_END");
    case InflateResult::kTrailingBytes:
      target.LogErrorCode();
      ZLIBPP_LOG("%u bytes follow the zlib stream of %s", static_cast<unsigned>(unused), path);
      return false;
    default:
      break;
  }
  if (!stored) {
    Fail(target, "fwrite error");
    target.EntryFailed(path);
    return false;
  }
  return true;
}

}  // namespace

bool UnpackEntries(ByteSource& archive, const char* destination, UnpackTarget& target) {
  uint32_t name_length = 0;
  while (ReadNameLength(archive, &name_length) == EntryStatus::kOk) {
    if (!UnpackEntry(archive, name_length, destination, target)) return false;
  }
  return true;
}

}  // namespace package
