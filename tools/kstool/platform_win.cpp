// kstool.exe's side of platform.h.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "base/handles_win.h"
#include "base/wide_text.h"
#include "platform.h"

namespace kstool {
namespace {

std::wstring FullWidePath(const std::wstring& path) {
  std::vector<wchar_t> full(32768);
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  std::wstring result(full.data(), length);
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

void CollectFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& files) {
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
      files.push_back(path);
    }
  } while (FindNextFileW(find.get(), &data));
}

}  // namespace

FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring wide = Widen(path.c_str());
  return wide.empty() ? nullptr : _wfopen(wide.c_str(), Widen(mode).c_str());
}

FILE* CreateNewFile(const std::string& path) {
  std::wstring wide = Widen(path.c_str());
  if (wide.empty()) return nullptr;
  ks::UniqueHandle handle(
      CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return nullptr;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_BINARY | _O_WRONLY);
  if (descriptor == -1) return nullptr;
  handle.release();  // the descriptor owns it now
  FILE* file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}

bool WritePieces(FILE* /*source*/, const std::vector<CopyPiece>& pieces, FILE* to) {
  for (const CopyPiece& piece : pieces)
    if (fwrite(piece.bytes, 1, piece.count, to) != piece.count) return false;
  return true;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return MoveFileExW(Widen(from.c_str()).c_str(), Widen(to.c_str()).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemoveFile(const std::string& path) { DeleteFileW(Widen(path.c_str()).c_str()); }

size_t FileSizeHint(FILE* file) {
  long long size = _filelengthi64(_fileno(file));
  return size > 0 ? static_cast<size_t>(size) : 0;
}

// kstool.exe reads its files whole.
const char* MapFile(FILE* /*file*/, size_t /*size*/) { return nullptr; }
void UnmapFile(const char* /*bytes*/, size_t /*size*/) {}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Widen(path.c_str()).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullPath(const std::string& path) { return Narrow(FullWidePath(Widen(path.c_str())).c_str()); }

bool SameFile(const std::string& a, const std::string& b) {
  return _wcsicmp(FullWidePath(Widen(a.c_str())).c_str(), FullWidePath(Widen(b.c_str())).c_str()) == 0;
}

bool ListFiles(const std::string& root, std::vector<std::string>& files, std::string& /*error*/) {
  std::vector<std::wstring> wide;
  CollectFiles(Widen(root.c_str()), L"", wide);
  files.clear();
  for (const std::wstring& name : wide) files.push_back(Narrow(name.c_str()));
  return true;
}

std::string FileBelow(const std::string& root, const std::string& relative) { return root + "\\" + relative; }

bool RunForOutput(const std::vector<std::string>& /*argv*/, std::string& output) {
  output.clear();
  return false;
}

}  // namespace kstool
