// kstool pack: makes a package archive of a directory tree, the way the
// account server hands out the client. Every file becomes one entry with its
// path relative to the directory ('\' between levels) and its content as one
// zlib stream; empty directories are not carried (the format holds files).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/wide_text.h"
#include "command.h"
#include "package/file_stream_win.h"
#include "package/package_writer.h"

namespace {



std::wstring FullPath(const std::wstring& path) {
  wchar_t full[32768];
  DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  if (length == 0 || length >= 32768) return path;
  std::wstring result(full, length);
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

// Relative paths of every file below `root`, '\' between levels.
void CollectFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>* files) {
  WIN32_FIND_DATAW data;
  std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  ks::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = relative.empty() ? name : relative + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) CollectFiles(root, path, files);
    } else {
      files->push_back(path);
    }
  } while (FindNextFileW(find.get(), &data));
}

int RunPack(const std::vector<std::string>& args) {
  if (args.size() != 2) return kstool::Fail("pack needs <directory> <archive> (see 'kstool pack --help')");
  std::wstring root = FullPath(Widen(args[0].c_str()));
  std::wstring archive_path = FullPath(Widen(args[1].c_str()));
  DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return kstool::Fail("'%s' is not a directory", args[0].c_str());

  std::vector<std::wstring> files;
  CollectFiles(root, L"", &files);
  std::sort(files.begin(), files.end());

  ks::UniqueFile archive(_wfopen(archive_path.c_str(), L"wb"));
  if (!archive) return kstool::Fail("cannot create '%s'", args[1].c_str());
  package::FileSink sink(archive.get());
  int packed = 0;
  for (const std::wstring& relative : files) {
    std::wstring full = root + L"\\" + relative;
    if (_wcsicmp(full.c_str(), archive_path.c_str()) == 0) continue;  // never the archive itself
    std::string name = Narrow(relative.c_str());
    ks::UniqueFile input(_wfopen(full.c_str(), L"rb"));
    if (!input) return kstool::Fail("cannot read '%s'", name.c_str());
    package::FileSource source(input.get());
    std::string body;
    if (!package::DeflateBody(source, &body) || ferror(input.get()))
      return kstool::Fail("cannot compress '%s' (read error or 2 GiB and more compressed)", name.c_str());
    if (!package::WriteEntry(sink, name, body))
      return kstool::Fail("cannot store '%s' (name refused by the format, or write error)", name.c_str());
    ++packed;
  }
  if (fflush(archive.get()) != 0) return kstool::Fail("cannot write '%s'", args[1].c_str());
  long long size = _ftelli64(archive.get());
  printf("packed %d files into %s (%lld bytes)\n", packed, Narrow(archive_path.c_str()).c_str(), size);
  return 0;
}

}  // namespace

KSTOOL_COMMAND("pack", "pack <directory> <archive>",
               "Makes a client package archive of every file below <directory>: names relative to it\n"
               "with '\\' between levels, contents deflated with zlib. Empty directories are not kept.",
               RunPack);
