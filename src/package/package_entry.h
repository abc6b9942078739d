#pragma once
// The package archive: a plain run of entries until the end of the file, with
// no header, count or trailer. Each entry, integers little-endian:
//   name length  4 bytes  bytes of the name including its zero byte
//   name         the relative path in UTF-8, '\' between levels, zero-ended
//   lFileLength  4 bytes  bytes of the body
//   iFileMask    2 bytes  carried, never interpreted
//   body         one complete zlib stream, exactly lFileLength bytes
// These readers take an entry apart field by field; they know nothing of
// files or directories.
#include <cstddef>
#include <cstdint>

#include "package/byte_stream.h"

namespace package {

// The name (with its zero byte) never takes more than this.
const uint32_t kNameBufferSize = 780;
// Bodies of 2^31 bytes or more are refused.
const uint32_t kMaxBodyLength = 0x7FFFFFFFu;
// Room for a destination of up to 511 bytes, a separator and a name.
const size_t kTargetPathBufferSize = 512 + kNameBufferSize;

enum class EntryStatus {
  kOk,
  kEnd,                // fewer than 4 bytes where a name length would start
  kNameUnreadable,     // the counted name bytes are not all there
  kNameLengthInvalid,  // 0, or more than the name buffer holds
  kNameUnterminated,   // no zero byte among the counted bytes
  kLengthUnreadable,   // the archive ends inside lFileLength
  kMaskUnreadable,     // the archive ends inside iFileMask
  kBodyTooLong,        // lFileLength of 2^31 or more
};

// kEnd when the archive is complete (0 to 3 bytes left).
EntryStatus ReadNameLength(ByteSource& source, uint32_t* name_length);

// Reads `name_length` bytes into `name` (kNameBufferSize bytes); on kOk it
// holds the text before the first zero byte.
EntryStatus ReadEntryName(ByteSource& source, uint32_t name_length, char* name);

// Reads lFileLength and iFileMask.
EntryStatus ReadEntrySizes(ByteSource& source, uint32_t* body_length, uint16_t* mask);

// A name may only lead to a file below the destination: it must not be empty,
// rooted, carry a drive or stream colon, climb above its start with "..",
// hold a level made only of dots and spaces (other than "." and ".."), or
// name a device (CON, NUL, COM0 to COM9, COM with a superscript 1 to 3, the
// same for LPT, ...). '/' counts as a separator here, as it does for the
// file system.
bool IsSafeEntryName(const char* name);

// Whether an entry's name is `expected`, ASCII case ignored: the file system
// takes either spelling for the same file.
bool IsEntryNamed(const char* name, const char* expected);

// destination + '\' (unless it ends with one) + name; false when it does not
// fit `capacity` bytes.
bool BuildTargetPath(const char* destination, const char* name, char* target, size_t capacity);

// The directory to create before the file: everything before the last '\' of
// the target path. False when there is nothing to create: no '\', an empty
// part, or a bare drive ("C:").
bool DirectoryToCreate(const char* target, char* directory, size_t capacity);

}  // namespace package
