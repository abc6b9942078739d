#pragma once
// The package on the disk, whole or not at all: a package file that cannot
// be written whole is not left cut, and an unpack that fails leaves no half
// setup folder for a launcher to be started from.
#include <cstddef>
#include <string>

// Writes `count` bytes as the file at `path` (waiting for a scanner that
// holds an earlier one). False when it cannot be opened or written whole;
// a file begun is then removed. The failure is logged under `operation`
// only when the file was opened (the caller tells the rest).
bool SavePackageFile(const char* operation, const std::string& path, const unsigned char* bytes, size_t count);

// After an unpack of `archive` into `setup_directory` failed (`failed_entry`
// names the file it could not write, or is empty): removes everything in the
// setup directory and the directory, logs what went and tells the
// participant "Unable to save the download file". The archive of a failed
// pass stays for a look.
void RemoveFailedUnpack(const char* operation, const char* archive, const std::string& failed_entry,
                        const char* setup_directory);
