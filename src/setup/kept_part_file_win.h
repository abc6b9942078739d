#pragma once
// The kept part of a cut package download, "KSDownload.part" in the user's
// temporary folder: never in the setup folder, never unpacked or started as
// it stands. Its head and rules are in kept_part.h.
#include <string>

#include "base/handles_win.h"
#include "setup/kept_part.h"

class SetupDownloader;

class KeptPartFile {
 public:
  // Nothing is kept without a temporary folder.
  explicit KeptPartFile(const char* temp_directory);

  // The kept part that can complete a download of `size` bytes from
  // `server`; one that cannot (or that does not read) is removed, with why.
  bool Find(const std::string& server, int size, KeptPart* part);
  // Reads the bytes of the part Find gave into `buffer` (part.kept bytes)
  // from the file Find read its head from, and lets it go.
  bool ReadBytes(const KeptPart& part, unsigned char* buffer);
  // Keeps `part` and its bytes, whole or not at all: written beside the
  // file, then moved over it.
  bool Keep(const KeptPart& part, const unsigned char* bytes);
  // Removes the kept part, if there is one, logging `why`.
  void Remove(const char* why);

  // Before the download of `downloader->m_iExpectedSize` bytes from `server`
  // starts: puts a kept part that can complete it into the downloader's
  // buffer. The count of bytes put there (0 when none).
  int Resume(const std::string& server, SetupDownloader* downloader);
  // After a download that ended incomplete: keeps what the downloader holds
  // when it is more than, or other than, what was kept; removes the kept part
  // when the server's reply came without a validator.
  void KeepForNextRun(const std::string& server, const SetupDownloader& downloader);

 private:
  KeptPart resumed_;      // what Resume put into the buffer
  ks::UniqueFile file_;  // from Find to ReadBytes
  std::wstring path_;
  std::string narrow_path_;
  size_t head_length_;
};
