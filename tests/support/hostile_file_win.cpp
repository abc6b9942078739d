#include "support/hostile_file_win.h"

#include <windows.h>

#include <cstdio>

#include "base/file_data.h"
#include "base/handles_win.h"
#include "base/wide_text.h"
#include "support/win_test_util_win.h"

namespace kstest {

const char* HostileKindName(HostileKind kind) {
  switch (kind) {
    case HostileKind::kEmpty:
      return "empty";
    case HostileKind::kBinary:
      return "binary";
    case HostileKind::kBinaryInside:
      return "binary inside";
    case HostileKind::kHuge:
      return "huge";
    case HostileKind::kUnclosed:
      return "unclosed";
  }
  return "?";
}

std::string HostileBytes(HostileKind kind, const std::string& sound_text) {
  switch (kind) {
    case HostileKind::kEmpty:
      return std::string();
    case HostileKind::kBinary: {
      std::string bytes;
      unsigned state = 0x2545F491u;
      for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(state >> 23));
      }
      bytes[0] = '\x8f';  // not a zero byte: readers get some text before the first zero
      return bytes;
    }
    case HostileKind::kBinaryInside: {
      std::string all;
      for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
      std::string text = sound_text;
      size_t close = text.find("</__");
      size_t end = close == std::string::npos ? text.size() : text.find("__>", close) + 3;
      return text.insert(end, all);
    }
    case HostileKind::kHuge:
      return sound_text;
    case HostileKind::kUnclosed: {
      std::string text = sound_text;
      for (size_t at = text.find("</__"); at != std::string::npos; at = text.find("</__", at)) {
        size_t end = text.find("__>", at);
        text.erase(at, end == std::string::npos ? std::string::npos : end + 3 - at);
      }
      return text;
    }
  }
  return std::string();
}

bool WriteHostileFile(const std::string& path, HostileKind kind, const std::string& sound_text) {
  if (!WriteFile(path, HostileBytes(kind, sound_text))) return false;
  if (kind != HostileKind::kHuge) return true;
  ks::UniqueHandle file(CreateFileW(Widen(path.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  size.QuadPart = kHugeFileSize;
  return file && SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

bool HostileFileIntact(const std::string& path, HostileKind kind, const std::string& sound_text) {
  std::string expected = HostileBytes(kind, sound_text);
  if (kind != HostileKind::kHuge) {
    std::string content;
    return ReadFile(path, &content) && content == expected;
  }
  if (Utility::FileSize(path.c_str()) != kHugeFileSize) return false;
  ks::UniqueFile file(_wfopen(Widen(path.c_str()).c_str(), L"rb"));
  std::string head(expected.size() + 4096, '\x55');
  if (!file || fread(&head[0], 1, head.size(), file.get()) != head.size()) return false;
  return head == expected + std::string(4096, '\0');
}

std::string AsRewrittenText(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out += '\r';
    out += bytes[i];
  }
  return out;
}

}  // namespace kstest
