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

// Moves `from` over `to` in one step, replacing what was there.
bool MoveIntoPlace(const std::string& from, const std::string& to);

void RemoveFile(const std::string& path);

// The size of the open file when the system knows it (0 for a pipe).
size_t FileSizeHint(FILE* file);

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

}  // namespace kstool
