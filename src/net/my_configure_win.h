#pragma once
// The access-cache file singleton: reads and replaces single tag fields of the
// cache file under a process lock and the named mutex "KSCacheFileMutex".
#include <cstddef>

class MyConfigure {
 public:
  // Creates the singleton; false (and a log line) when it exists already.
  static bool Initialize(int off_switch);
  static MyConfigure* GetInstance();

  // Start-up: the cache file is "Cache.xml" in the starter's folder; created,
  // when missing and the folder is writable, with an empty access-setting field.
  bool UseCacheFile(const char* path);

  bool ReadConfigure(const char* opening_tag, const char* closing_tag, char* output, size_t capacity);
  bool WriteConfigure(const char* opening_tag, const char* closing_tag, const char* value);

 private:
  explicit MyConfigure(int off_switch);

  int m_iOffSwitch;
  char m_sCacheFilePath[512];
  wchar_t m_wsCacheFilePath[512];
};
