#include "package/package_entry.h"

#include <cstring>

#include "base/text.h"

namespace package {
namespace {

bool ReadUint32(ByteSource& source, uint32_t* value) {
  unsigned char bytes[4];
  if (source.Read(bytes, sizeof bytes) != sizeof bytes) return false;
  *value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Device names stay devices whatever extension follows them ("nul.txt").
bool IsDeviceName(const char* level, size_t length) {
  size_t base = 0;
  while (base < length && level[base] != '.') ++base;
  while (base > 0 && level[base - 1] == ' ') --base;
  char upper[8];
  if (base == 0 || !ks::CopyBytes(upper, sizeof upper, level, base)) return false;
  ks::UpperAscii(upper);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (strcmp(upper, device) == 0) return true;
  if (base < 4 || (memcmp(upper, "COM", 3) != 0 && memcmp(upper, "LPT", 3) != 0)) return false;
  // COM0 to COM9, and COM with a superscript one, two or three (in UTF-8),
  // which Windows takes for the devices too; the same for LPT.
  const unsigned char* number = reinterpret_cast<const unsigned char*>(upper + 3);
  return (base == 4 && number[0] >= '0' && number[0] <= '9') ||
         (base == 5 && number[0] == 0xC2 && (number[1] == 0xB9 || number[1] == 0xB2 || number[1] == 0xB3));
}

bool OnlyDotsAndSpaces(const char* level, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (level[i] != '.' && level[i] != ' ') return false;
  return true;
}

}  // namespace

EntryStatus ReadNameLength(ByteSource& source, uint32_t* name_length) {
  return ReadUint32(source, name_length) ? EntryStatus::kOk : EntryStatus::kEnd;
}

EntryStatus ReadEntryName(ByteSource& source, uint32_t name_length, char* name) {
  name[0] = '\0';
  if (name_length == 0 || name_length > kNameBufferSize) return EntryStatus::kNameLengthInvalid;
  if (source.Read(name, name_length) != name_length) {
    name[0] = '\0';
    return EntryStatus::kNameUnreadable;
  }
  if (memchr(name, '\0', name_length) == nullptr) {
    name[0] = '\0';
    return EntryStatus::kNameUnterminated;
  }
  return EntryStatus::kOk;
}

EntryStatus ReadEntrySizes(ByteSource& source, uint32_t* body_length, uint16_t* mask) {
  if (!ReadUint32(source, body_length)) return EntryStatus::kLengthUnreadable;
  unsigned char bytes[2];
  if (source.Read(bytes, sizeof bytes) != sizeof bytes) return EntryStatus::kMaskUnreadable;
  *mask = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  if (*body_length > kMaxBodyLength) return EntryStatus::kBodyTooLong;
  return EntryStatus::kOk;
}

bool IsSafeEntryName(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsSeparator(name[0])) return false;
  if (strchr(name, ':') != nullptr) return false;
  int depth = 0;
  const char* level = name;
  for (;;) {
    const char* end = level;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    size_t length = static_cast<size_t>(end - level);
    if (length == 1 && level[0] == '.') {
      // stays where it is
    } else if (length == 2 && level[0] == '.' && level[1] == '.') {
      if (--depth < 0) return false;
    } else if (length != 0) {
      if (OnlyDotsAndSpaces(level, length) || IsDeviceName(level, length)) return false;
      ++depth;
    }
    if (*end == '\0') return true;
    level = end + 1;
  }
}

bool IsEntryNamed(const char* name, const char* expected) {
  if (name == nullptr) return false;
  for (; *name != '\0' && *expected != '\0'; ++name, ++expected) {
    char a = *name >= 'a' && *name <= 'z' ? static_cast<char>(*name - 'a' + 'A') : *name;
    char b = *expected >= 'a' && *expected <= 'z' ? static_cast<char>(*expected - 'a' + 'A') : *expected;
    if (a != b) return false;
  }
  return *name == *expected;
}

bool BuildTargetPath(const char* destination, const char* name, char* target, size_t capacity) {
  if (destination == nullptr) destination = "";
  size_t length = strlen(destination);
  bool has_separator = length != 0 && destination[length - 1] == '\\';
  return ks::FormatText(target, capacity, "%s%s%s", destination, has_separator ? "" : "\\", name);
}

bool DirectoryToCreate(const char* target, char* directory, size_t capacity) {
  directory[0] = '\0';
  const char* last = strrchr(target, '\\');
  if (last == nullptr) return false;
  size_t length = static_cast<size_t>(last - target);
  if (length == 0 || length == 2) return false;
  return ks::CopyBytes(directory, capacity, target, length);
}

}  // namespace package
