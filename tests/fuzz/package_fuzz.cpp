// The package archive reader: the whole unpack walk over an archive in memory,
// and the entry-name rules on their own. The input is the archive; its last
// byte also picks which target operations fail (locked files, a directory
// that cannot be made, a file that does not close). Whatever the bytes, the
// walk ends with one clear result, asks for nothing outside its destination,
// and a name found safe always leads below it.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "package/memory_target.h"  // StaysBelow
#include "package/package_entry.h"
#include "package/package_unpack.h"

namespace {

const char kDestination[] = "D:\\dest";

// Counts what is written instead of keeping it: a small archive may inflate
// to many megabytes.
class CountingSink : public package::ByteSink {
 public:
  size_t Write(const void* data, size_t size) override {
    if (size > 0) checksum_ += static_cast<const unsigned char*>(data)[size - 1];
    written += size;
    return size;
  }
  size_t written = 0;

 private:
  unsigned checksum_ = 0;
};

class FailingTarget : public package::UnpackTarget {
 public:
  explicit FailingTarget(unsigned options) : options_(options) {}
  bool PathFits(const char* path) override { return strlen(path) < 260; }
  int CreateDirectories(const char* directory) override {
    directories.push_back(directory);
    return (options_ & 1) != 0 ? 5 : ((options_ & 2) != 0 ? 183 : 0);
  }
  package::ByteSink* CreateOutput(const char* path) override {
    KS_FUZZ_CHECK(!open_);
    files.push_back(path);
    if ((options_ & 4) != 0 && files.size() % 2 == 0) return nullptr;  // locked
    open_ = true;
    sink_.reset(new CountingSink);
    return sink_.get();
  }
  bool CloseOutput() override {
    KS_FUZZ_CHECK(open_);
    open_ = false;
    return (options_ & 8) == 0;
  }
  void LogErrorCode() override { ++error_lines; }
  void EntryFailed(const char* path) override { failed.push_back(path); }

  std::vector<std::string> directories;
  std::vector<std::string> files;
  std::vector<std::string> failed;
  int error_lines = 0;
  bool open_ = false;

 private:
  unsigned options_;
  std::unique_ptr<CountingSink> sink_;
};

void CheckWalk(const uint8_t* data, size_t size, unsigned options) {
  FailingTarget target(options);
  package::MemorySource source(data, size);
  bool ok = package::UnpackEntries(source, kDestination, target);
  KS_FUZZ_CHECK(!target.open_);  // every file opened is closed, on every path
  for (const std::string& directory : target.directories)
    KS_FUZZ_CHECK(directory == kDestination || StaysBelow(kDestination, directory));
  for (const std::string& file : target.files) KS_FUZZ_CHECK(StaysBelow(kDestination, file));
  // One error line for the failure that ends a walk, none for a complete
  // one; a file that could not be made or written is named once, last.
  if (ok) {
    KS_FUZZ_CHECK(target.error_lines == 0 && target.failed.empty());
    KS_FUZZ_CHECK(size - source.Position() <= 3);  // a complete walk reads to the end
  } else {
    KS_FUZZ_CHECK(target.error_lines == 1 && target.failed.size() <= 1);
    if (!target.failed.empty()) KS_FUZZ_CHECK(target.failed.back() == target.files.back());
  }
}

void CheckName(const std::string& name) {
  if (name.size() >= package::kNameBufferSize) return;
  if (!package::IsSafeEntryName(name.c_str())) return;
  char target[package::kTargetPathBufferSize];
  KS_FUZZ_CHECK(package::BuildTargetPath(kDestination, name.c_str(), target, sizeof target));
  KS_FUZZ_CHECK(StaysBelow(kDestination, target));
  char directory[package::kTargetPathBufferSize];
  if (package::DirectoryToCreate(target, directory, sizeof directory))
    KS_FUZZ_CHECK(strcmp(directory, kDestination) == 0 || StaysBelow(kDestination, directory));
  // A buffer one byte short of the path is refused, never overrun.
  size_t length = strlen(target);
  std::unique_ptr<char[]> tight(new char[length]);
  KS_FUZZ_CHECK(!package::BuildTargetPath(kDestination, name.c_str(), tight.get(), length));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unsigned options = size > 0 ? data[size - 1] : 0;
  CheckWalk(data, size, 0);
  if ((options & 15) != 0) CheckWalk(data, size, options);
  CheckName(std::string(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size)));
  return 0;
}
