// kstool unpack: unpacks a package archive with the starter's own unpacker,
// so an operator sees exactly what the starter would make of it (its log
// lines go to stderr). The operator's archive is left in place: the unpacker
// works on a temporary copy, since it deletes what it has read completely.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/log_api.h"
#include "base/wide_text.h"
#include "command.h"
#include "package/zlibpp_win.h"

namespace {

void PrintLogRecord(const char* operation, int /*level*/, const char* /*source_file*/, int /*line*/,
                    const char* format, va_list args) {
  fprintf(stderr, "%s: ", operation);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
}

int RunUnpack(const std::vector<std::string>& args) {
  if (args.size() != 2) return kstool::Fail("unpack needs <archive> <directory> (see 'kstool unpack --help')");
  // The unpacker creates directories by full path only.
  std::wstring directory = Widen(args[1].c_str());
  wchar_t full[MAX_PATH];
  DWORD length = GetFullPathNameW(directory.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return kstool::Fail("directory path too long: '%s'", args[1].c_str());

  wchar_t temp[MAX_PATH];
  wchar_t copy[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0 || GetTempFileNameW(temp, L"ksu", 0, copy) == 0)
    return kstool::Fail("cannot make a temporary copy of the archive");
  if (!CopyFileW(Widen(args[0].c_str()).c_str(), copy, FALSE)) {
    DeleteFileW(copy);
    return kstool::Fail("cannot read '%s'", args[0].c_str());
  }

  kslog::Sink previous = kslog::SetSink(&PrintLogRecord);
  bool complete;
  {
    CZLib unpacker;
    complete = unpacker.UnZip(Narrow(copy).c_str(), Narrow(full).c_str());
  }
  kslog::SetSink(previous);
  DeleteFileW(copy);  // still there when the unpacker failed
  if (!complete) return kstool::Fail("'%s' could not be unpacked completely (see the lines above)", args[0].c_str());
  printf("unpacked %s into %s\n", args[0].c_str(), Narrow(full).c_str());
  return 0;
}

}  // namespace

KSTOOL_COMMAND("unpack", "unpack <archive> <directory>",
               "Unpacks a client package archive below <directory> with the starter's own unpacker and\n"
               "prints its log lines; a file that cannot be created or written ends it, as it ends the\n"
               "starter's install. The archive is kept.",
               RunUnpack);
