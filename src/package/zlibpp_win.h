#pragma once
// The package unpacker: reads a package archive from disk and writes its files
// below a destination directory, creating directories as it goes. Files that
// cannot be created are skipped and listed in a text file that is opened for
// the user once the archive has been read to its end; after such a complete
// pass the archive is deleted.
#include <windows.h>

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
  // when the archive was read to its end (skipped files included); the
  // archive is then deleted. False on any failure, with the archive and every
  // file written so far left in place.
  bool UnZip(const char* archive, const char* destination);

  // The same for the archive's first `size` bytes already in memory (those
  // that were checked) instead of what its file holds now; the file is
  // deleted after a complete pass as UnZip deletes it.
  bool UnZipBytes(const char* archive, const unsigned char* bytes, size_t size, const char* destination);

  // How a failure list reaches the user: by default the shell opens it with
  // the verb "Open". Replaceable so tests and tools do not start a viewer.
  typedef void (*ShowFailureListFunction)(const wchar_t* path);
  static ShowFailureListFunction s_pShowFailureList;

 private:
  bool PathFits(const char* path) override;
  int CreateDirectories(const char* directory) override;
  package::ByteSink* CreateOutput(const char* path) override;
  bool CloseOutput() override;
  void ListSkipped(const char* path) override;
  void LogErrorCode() override;
  // Starts a call: logs it and names this call's failure list.
  void Begin(const char* archive, const char* destination);
  // Unpacks from `source`; after a complete pass deletes the archive and
  // shows the failure list, if any.
  bool UnpackAndFinish(package::ByteSource& source, const wchar_t* archive_path, const char* destination);

  ks::UniqueFile m_oOutputFile;
  ks::UniqueFile m_oInputFile;
  ks::UniqueFile m_oFailureList;
  package::FileSink* m_pOutputSink;
  wchar_t m_wsFailureListPath[MAX_PATH];
};
