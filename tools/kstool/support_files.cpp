#include "support_files.h"

#include "app/embedded_block.h"
#include "app/settings_reader.h"
#include "base/text.h"
#include "platform.h"

namespace kstool {

const char kStandardStream[] = "-";

namespace {

// Room a stamp adds to a starter without moving it in memory.
const size_t kHeadroom = 65536;

// Reads straight into the string, growing it as the data comes: a file whose
// size the system tells is read in one piece.
bool ReadAll(FILE* file, std::string& content, size_t expected) {
  content.clear();
  size_t used = 0;
  content.reserve(expected + kHeadroom);
  content.resize(expected > 0 ? expected + 1 : kHeadroom);
  for (;;) {
    size_t got = fread(&content[used], 1, content.size() - used, file);
    used += got;
    if (used < content.size()) break;
    content.resize(content.size() * 2);
  }
  content.resize(used);
  return ferror(file) == 0;
}

}  // namespace

bool ReadInput(const std::string& path, std::string& content, std::string& error) {
  if (path == kStandardStream) {
    UseBinaryStandardStreams();
    if (ReadAll(stdin, content, FileSizeHint(stdin))) return true;
    error = "cannot read standard input";
    return false;
  }
  UniqueFile file(OpenFile(path, "rb"));
  if (file && ReadAll(file.get(), content, FileSizeHint(file.get()))) return true;
  error = "cannot read '" + path + "'";
  return false;
}

bool ReadBoundedInput(const std::string& path, size_t limit, std::string& content, std::string& error) {
  bool standard = path == kStandardStream;
  if (standard) UseBinaryStandardStreams();
  UniqueFile opened(standard ? nullptr : OpenFile(path, "rb"));
  FILE* file = standard ? stdin : opened.get();
  std::string name = standard ? "standard input" : "'" + path + "'";
  if (file == nullptr) {
    error = "cannot read " + name;
    return false;
  }
  content.clear();
  size_t hint = FileSizeHint(file);
  bool larger = hint > limit;
  if (!larger) content.reserve(hint);
  char piece[65536];
  while (!larger) {
    size_t got = fread(piece, 1, sizeof piece, file);
    larger = content.size() + got > limit;
    if (!larger) content.append(piece, got);
    if (got < sizeof piece) break;
  }
  if (larger) {
    content.clear();
    error = ks::Format("%s is larger than %llu bytes", name.c_str(), static_cast<unsigned long long>(limit));
    return false;
  }
  if (ferror(file) == 0) return true;
  error = "cannot read " + name;
  return false;
}

InputContent::~InputContent() { UnmapFile(mapped_, size_); }

bool InputContent::Read(const std::string& path, std::string& error) {
  if (path != kStandardStream) {
    file_.reset(OpenFile(path, "rb"));
    size_t size = file_ ? FileSizeHint(file_.get()) : 0;
    mapped_ = file_ ? MapFile(file_.get(), size) : nullptr;
    if (mapped_ != nullptr) {
      size_ = size;
      return true;
    }
    file_.reset();
  }
  return ReadInput(path, read_, error);
}

OutputFile::OutputFile(const std::string& path) : path_(path), file_(nullptr) {}

OutputFile::~OutputFile() {
  if (file_ == nullptr || file_ == stdout) return;
  fclose(file_);
  RemoveFile(sibling_);
}

bool OutputFile::Open(std::string& error) {
  if (path_ == kStandardStream) {
    UseBinaryStandardStreams();
    file_ = stdout;
    return true;
  }
  // Named by the process, so stamps running side by side never share one.
  // A sibling of this name left by an ended process cannot be in use.
  sibling_ = ks::Format("%s.%lu.partial", path_.c_str(), ProcessNumber());
  RemoveFile(sibling_);
  file_ = CreateNewFile(sibling_);
  if (file_ != nullptr) return true;
  error = "cannot write '" + path_ + "'";
  return false;
}

bool OutputFile::Commit(std::string& error) {
  if (file_ == stdout) {
    file_ = nullptr;
    if (fflush(stdout) == 0 && ferror(stdout) == 0) return true;
    error = "cannot write to standard output";
    return false;
  }
  bool ok = file_ != nullptr && fflush(file_) == 0 && ferror(file_) == 0;
  if (file_ != nullptr && fclose(file_) != 0) ok = false;
  file_ = nullptr;
  if (ok && MoveIntoPlace(sibling_, path_)) return true;
  RemoveFile(sibling_);
  error = "cannot write '" + path_ + "'";
  return false;
}

bool WriteOutput(const std::string& path, const std::string& content, std::string& error) {
  OutputFile output(path);
  if (!output.Open(error)) return false;
  if (fwrite(content.data(), 1, content.size(), output.get()) != content.size()) {
    error = path == kStandardStream ? "cannot write to standard output" : "cannot write '" + path + "'";
    return false;
  }
  return output.Commit(error);
}

bool ReadSettingsFile(const std::string& path, bool require_role, std::string& text, std::string& error) {
  if (!ReadInput(path, text, error)) return false;
  ks::CrLfToLf(text);
  if (text.empty()) {
    error = "settings file '" + path + "' is empty";
  } else if (text.find('\0') != std::string::npos) {
    error = "settings file '" + path + "' holds a zero byte";
  } else if (text.size() >= kKeptSettingSize) {
    error = ks::Format("settings text of '%s' has %d bytes; the starter keeps at most %d", path.c_str(),
                       static_cast<int>(text.size()), static_cast<int>(kKeptSettingSize - 1));
  } else if (require_role && !IsValidEmbeddedSettings(text.c_str())) {
    error = "settings text of '" + path + "' has no <__Role__> field; the starter would refuse it";
  } else {
    return true;
  }
  return false;
}

}  // namespace kstool
