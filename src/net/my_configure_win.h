#pragma once
// The access-cache file singleton: reads and replaces single tag fields of the
// cache file under a process lock and the named mutex "KSCacheFileMutex", so
// this process and other programs sharing the file never interleave their
// read-modify-write cycles.
#include <cstddef>

class MyConfigure {
 public:
  // Creates the singleton; false (and a log line) when it exists already.
  static bool Initialize(int off_switch);
  static MyConfigure* GetInstance();

  // With the off switch set, reads and writes report success and touch
  // nothing. The singleton is made by Initialize; tests make their own.
  explicit MyConfigure(int off_switch);

  // Start-up: the cache file is "Cache.xml" in the starter's folder; created,
  // when missing and the folder is writable, with an empty access-setting
  // field. False when the path does not fit or the file neither exists nor
  // could be created.
  bool UseCacheFile(const char* path);
  const char* CacheFilePath() const { return m_sCacheFilePath; }

  // The value of one tag field; false (output empty) when the file cannot be
  // read, the field is missing, or its value does not fit `capacity`.
  bool ReadConfigure(const char* opening_tag, const char* closing_tag, char* output, size_t capacity);
  // Replaces the value of a field that is already in the file (a field is
  // never added) and drops whatever follows </__CACHE__>.
  bool WriteConfigure(const char* opening_tag, const char* closing_tag, const char* value);

 private:
  int m_iOffSwitch;
  char m_sCacheFilePath[512];
  wchar_t m_wsCacheFilePath[512];
};
