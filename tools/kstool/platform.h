#pragma once
// What kstool needs from the system it runs on; platform_win.cpp (kstool.exe)
// and platform_posix.cpp (the native kstool) give it. Paths are UTF-8.
#include <cstdio>
#include <string>
#include <vector>

namespace kstool {

FILE* OpenFile(const std::string& path, const char* mode);

// Creates `path` for writing as raw bytes; null when it exists already.
FILE* CreateNewFile(const std::string& path);

// A part of a file being written: `count` bytes at `bytes`. Where
// `from_source` is set they are also the bytes at `source_offset` of the
// open file WritePieces copies from, so that the system may copy them itself.
struct CopyPiece {
  const char* bytes;
  size_t count;
  bool from_source;
  size_t source_offset;
};

// Writes the pieces to `to` (new and empty, or standard output) in order.
// Pieces of the open file `source` (none when null) are copied by the system
// where it can (copy_file_range, as cp does), never passing through the
// program; the others, and all where it cannot, are written from their
// bytes. `source` is the file the bytes were read from, never one opened
// again by its name, which may meanwhile name another file.
bool WritePieces(FILE* source, const std::vector<CopyPiece>& pieces, FILE* to);

// Moves `from` over `to` in one step, replacing what was there.
bool MoveIntoPlace(const std::string& from, const std::string& to);

void RemoveFile(const std::string& path);

// The size of the open file when the system knows it (0 for a pipe).
size_t FileSizeHint(FILE* file);

// The first `size` bytes of the open file, mapped read-only where the system
// can (null elsewhere). Should another program cut the file short while it
// is mapped, kstool ends with an error line instead of a crash.
const char* MapFile(FILE* file, size_t size);
void UnmapFile(const char* bytes, size_t size);

// Standard input and output carry raw bytes.
void UseBinaryStandardStreams();

// A number that tells this process's files from another's.
unsigned long ProcessNumber();

bool IsDirectory(const std::string& path);

// Absolute form of the path, without trailing separators.
std::string FullPath(const std::string& path);

// Whether both paths name the same file (the file system's rules for case).
bool SameFile(const std::string& a, const std::string& b);

// The paths of the files below `root` relative to it, '\' between levels.
// Directories reached through links are not entered. False with a reason
// when a name cannot be carried.
bool ListFiles(const std::string& root, std::vector<std::string>& files, std::string& error);

// The path of the file that ListFiles named `relative` below `root`.
std::string FileBelow(const std::string& root, const std::string& relative);

// Runs a program found on the PATH with these arguments (no shell) and
// collects its standard output; false when it cannot be run or fails. Only
// the native kstool runs programs (the cross toolchain's addr2line).
bool RunForOutput(const std::vector<std::string>& argv, std::string& output);

}  // namespace kstool
