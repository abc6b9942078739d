#pragma once
// Whole-file reads of small text files (parameter files, version files).
#include <cstddef>
#include <string>

namespace Utility {

// Reads the whole file in text mode (CR LF becomes LF) into `content`; false
// (content empty) for an empty name or a file that cannot be opened, which is
// logged as "Failed to open sFileName %s". The size is content.size().
bool GetFileData(const char* file_name, std::string& content);

// The same text-mode read without the log line, for files whose absence is
// an ordinary case.
bool ReadTextFile(const char* file_name, std::string& content);

// Reads the whole file as raw bytes; false when it cannot be opened. Not logged.
bool ReadWholeFile(const char* file_name, std::string& content);

// What a read with a size limit found.
enum class FileReadResult {
  kRead,      // the whole file is in `content`
  kMissing,   // it cannot be opened (content empty)
  kTooLarge,  // it holds more than the limit; content empty, the rest unread
};

// Reads the whole file as raw bytes, but never more than `max_bytes`: a file
// that holds more is refused as soon as the limit is passed, so a huge or
// growing file costs no more memory or time than the limit.
FileReadResult ReadWholeFileUpTo(const char* file_name, size_t max_bytes, std::string& content);

// The same, with CR LF turned into LF: the text a text-mode read gives, except
// that a Ctrl-Z byte does not end it. For files that are read, changed and
// written back, where a text-mode read would drop everything after a Ctrl-Z.
FileReadResult ReadTextFileUpTo(const char* file_name, size_t max_bytes, std::string& content);

// GetFileData with a limit: the same text-mode read and the same log line for
// a file that cannot be opened; a file larger than `max_bytes` is refused
// unread (not logged here).
FileReadResult GetFileData(const char* file_name, size_t max_bytes, std::string& content);

// Writes `content` as the file's whole new text (text mode: LF becomes CR LF).
// It goes to "<file>.new" first and is then moved over the old file in one
// step, so a run ended half-way leaves the old file or the new one, never a
// cut one. A file that cannot be replaced that way (another program holds it
// open) is rewritten in place. Failures are logged under `operation` as
// "failed to open %s for writing" or "failed to write %s".
bool ReplaceTextFile(const char* operation, const char* file_name, const std::string& content);

// Size in bytes as the file system reports it; -1 when the file is not there.
long long FileSize(const wchar_t* path);
long long FileSize(const char* file_name);

}  // namespace Utility
