#pragma once
// Whole-file reads of small text files (parameter files, version files).
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

// Size in bytes as the file system reports it; -1 when the file is not there.
long long FileSize(const wchar_t* path);
long long FileSize(const char* file_name);

}  // namespace Utility
