// kstool pack: makes a package archive of a directory tree, the way the
// account server hands out the client. Every file becomes one entry with its
// path relative to the directory ('\' between levels) and its content as one
// zlib stream; empty directories are not carried (the format holds files).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "package/package_writer.h"
#include "platform.h"
#include "support_files.h"

namespace {

class FileReader : public package::ByteSource {
 public:
  explicit FileReader(FILE* file) : file_(file) {}
  size_t Read(void* buffer, size_t size) override { return fread(buffer, 1, size, file_); }
  bool Skip(uint32_t /*count*/) override { return false; }  // packing reads straight through

 private:
  FILE* file_;
};

class FileWriter : public package::ByteSink {
 public:
  explicit FileWriter(FILE* file) : file_(file), written_(0) {}
  size_t Write(const void* data, size_t size) override {
    size_t stored = fwrite(data, 1, size, file_);
    written_ += stored;
    return stored;
  }
  long long Written() const { return written_; }

 private:
  FILE* file_;
  long long written_;
};

int RunPack(const std::vector<std::string>& args) {
  if (args.size() != 2) return kstool::Fail("pack needs <directory> <archive> (see 'kstool pack --help')");
  std::string root = kstool::FullPath(args[0]);
  std::string archive_path = kstool::FullPath(args[1]);
  if (!kstool::IsDirectory(root)) return kstool::Fail("'%s' is not a directory", args[0].c_str());

  std::vector<std::string> files;
  std::string error;
  if (!kstool::ListFiles(root, files, error)) return kstool::Fail("%s", error.c_str());
  // Byte order of the UTF-8 names: the same archive from the same tree on every system.
  std::sort(files.begin(), files.end());

  kstool::OutputFile archive(archive_path);
  if (!archive.Open(error)) return kstool::Fail("cannot create '%s'", args[1].c_str());
  FileWriter sink(archive.get());
  int packed = 0;
  for (const std::string& name : files) {
    std::string full = kstool::FileBelow(root, name);
    if (kstool::SameFile(full, archive_path)) continue;  // never the archive itself
    kstool::UniqueFile input(kstool::OpenFile(full, "rb"));
    if (!input) return kstool::Fail("cannot read '%s'", name.c_str());
    FileReader source(input.get());
    std::string body;
    if (!package::DeflateBody(source, &body) || ferror(input.get()))
      return kstool::Fail("cannot compress '%s' (read error or 2 GiB and more compressed)", name.c_str());
    if (!package::WriteEntry(sink, name, body))
      return kstool::Fail("cannot store '%s' (name refused by the format, or write error)", name.c_str());
    ++packed;
  }
  if (!archive.Commit(error)) return kstool::Fail("cannot write '%s'", args[1].c_str());
  printf("packed %d files into %s (%lld bytes)\n", packed, archive_path.c_str(), sink.Written());
  return 0;
}

}  // namespace

KSTOOL_COMMAND("pack", "pack <directory> <archive>",
               "Makes a client package archive of every file below <directory>: names relative to it\n"
               "with '\\' between levels, contents deflated with zlib. Empty directories are not kept.",
               RunPack);
