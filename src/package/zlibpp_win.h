#pragma once
// The package unpacker: reads a package archive from disk and writes its files
// below a destination directory, creating directories as it goes; after a
// complete pass the archive is deleted. A file that cannot be created or
// written ends the unpack (the caller removes what it wrote).
#include <windows.h>

#include <string>

#include "base/handles_win.h"
#include "package/file_stream_win.h"
#include "package/package_unpack.h"

class CZLib : private package::UnpackTarget {
 public:
  CZLib();
  ~CZLib() override;
  CZLib(const CZLib&) = delete;
  CZLib& operator=(const CZLib&) = delete;

  // Both paths UTF-8; the destination with or without a trailing '\'. True
  // when the archive was read to its end; the archive is then deleted. False
  // on any failure, with the archive and every file written so far left in
  // place.
  bool UnZip(const char* archive, const char* destination);

  // The same for the archive's first `size` bytes already in memory (those
  // that were checked) instead of what its file holds now; the file is
  // deleted after a complete pass as UnZip deletes it.
  bool UnZipBytes(const char* archive, const unsigned char* bytes, size_t size, const char* destination);

  // After a failed call: the entry whose file could not be created or
  // written, with the system's error; empty when the failure lay elsewhere.
  const std::string& FailedEntry() const { return m_sFailedEntry; }

 private:
  bool PathFits(const char* path) override;
  int CreateDirectories(const char* directory) override;
  package::ByteSink* CreateOutput(const char* path) override;
  bool CloseOutput() override;
  void LogErrorCode() override;
  void EntryFailed(const char* path) override;
  // Starts a call: logs it.
  void Begin(const char* archive, const char* destination);
  // Unpacks from `source`; after a complete pass deletes the archive.
  bool UnpackAndFinish(package::ByteSource& source, const wchar_t* archive_path, const char* destination);

  ks::UniqueFile m_oOutputFile;
  ks::UniqueFile m_oInputFile;
  package::FileSink* m_pOutputSink;
  DWORD m_dwLastError;  // as the last error line read it
  std::string m_sFailedEntry;
};
