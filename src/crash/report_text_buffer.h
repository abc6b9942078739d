#pragma once
// Collects the UTF-16 text of "ERRORLOG.TXT" in a fixed buffer and hands it to
// a writer in pieces, so writing the module list needs no heap while the
// process may be damaged.
#include <cstddef>

#include "base/text.h"

class ReportTextBuffer {
 public:
  // Once more than this many characters are buffered, the next piece first
  // writes them out.
  static const size_t kFlushThreshold = 7168;
  static const size_t kCapacity = 8192;

  // Receives `count` UTF-16 characters; false when they could not be written.
  typedef bool (*Writer)(void* context, const char16_t* text, size_t count);

  ReportTextBuffer(Writer writer, void* context);
  ReportTextBuffer(const ReportTextBuffer&) = delete;
  ReportTextBuffer& operator=(const ReportTextBuffer&) = delete;

  // One piece of text. ASCII text is widened; printf-style pieces are
  // formatted first (a piece longer than 1,023 characters is cut).
  void Append(const char16_t* text, size_t count);
  void AppendAscii(const char* text);
  void AppendFormat(const char* format, ...) KS_PRINTF_FORMAT(2, 3);

  // Sets where the text goes (the buffer can then live in static storage).
  void SetWriter(Writer writer, void* context);

  // Writes what is buffered; false when any write so far failed.
  bool Flush();
  size_t buffered() const { return count_; }

 private:
  void MakeRoom(size_t count);

  Writer writer_;
  void* context_;
  bool failed_;
  size_t count_;
  char16_t text_[kCapacity];
};
