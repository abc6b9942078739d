#pragma once
// File and settings-text helpers shared by the kstool subcommands. A path of
// "-" is standard input (to read) or standard output (to write).
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kstool {

// The path that means standard input or output.
extern const char kStandardStream[];

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> UniqueFile;

// Whole file as raw bytes; false with a message in `error`.
bool ReadInput(const std::string& path, std::string& content, std::string& error);

// The same for input that anyone may have written: more than `limit` bytes
// are refused without being read.
bool ReadBoundedInput(const std::string& path, size_t limit, std::string& content, std::string& error);

// The same for a large file read once (a server stamps the starter per
// download): mapped by the system where it can rather than copied.
class InputContent {
 public:
  InputContent() = default;
  ~InputContent();
  InputContent(const InputContent&) = delete;
  InputContent& operator=(const InputContent&) = delete;

  bool Read(const std::string& path, std::string& error);
  std::string_view bytes() const { return mapped_ != nullptr ? std::string_view(mapped_, size_) : read_; }
  // The open file the bytes are mapped from, kept open with them (null when
  // they were read): the same file whatever its name comes to mean.
  FILE* mapped_file() const { return mapped_ != nullptr ? file_.get() : nullptr; }

 private:
  std::string read_;
  UniqueFile file_;
  const char* mapped_ = nullptr;
  size_t size_ = 0;
};

// A result written to a sibling of its path and moved into place only once
// it is complete, so a failure (or a reader looking in the meantime) never
// finds a partial file. Destroying it uncommitted removes the sibling.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open(std::string& error);
  FILE* get() const { return file_; }
  // Flushes, closes and moves the file into place.
  bool Commit(std::string& error);

 private:
  std::string path_;
  std::string sibling_;
  FILE* file_;
};

// Writes the bytes as the whole new content of `path` through OutputFile.
bool WriteOutput(const std::string& path, const std::string& content, std::string& error);

// Reads a settings text the way an operator writes it: CR LF becomes LF, and
// checks that the starter will keep it whole (no zero byte, at most 2047
// bytes). With require_role it must also pass the stamped block's validity
// test. False with a message in `error`.
bool ReadSettingsFile(const std::string& path, bool require_role, std::string& text, std::string& error);

}  // namespace kstool
