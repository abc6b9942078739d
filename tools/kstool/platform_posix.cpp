// The native kstool's side of platform.h.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform.h"

namespace kstool {
namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

bool CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& files,
                  std::string& error) {
  std::string folder = relative.empty() ? root : root + "/" + relative;
  std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.c_str()));
  if (!directory) {
    error = "cannot list '" + folder + "'";
    return false;
  }
  while (dirent* entry = readdir(directory.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "/" + name;
    struct stat link, target;
    if (lstat((root + "/" + path).c_str(), &link) != 0 || stat((root + "/" + path).c_str(), &target) != 0) continue;
    if (S_ISDIR(target.st_mode)) {
      if (!S_ISLNK(link.st_mode) && !CollectFiles(root, path, files, error)) return false;
    } else if (S_ISREG(target.st_mode)) {
      // The archive separates levels with '\', so a name holding one would
      // land in another folder on the participant's machine.
      if (name.find('\\') != std::string::npos) {
        error = "'" + path + "' holds a '\\', which the package uses between folder levels";
        return false;
      }
      files.push_back(path);
    }
  }
  return true;
}

void CutShortWhileMapped(int /*signal*/) {
  const char kMessage[] = "kstool: an input file was cut short while it was read\n";
  ssize_t ignored = write(2, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(2);
}

bool WriteAll(int descriptor, const char* bytes, size_t count) {
  while (count > 0) {
    ssize_t written = write(descriptor, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

FILE* OpenFile(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }

FILE* CreateNewFile(const std::string& path) {
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor == -1) return nullptr;
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
}

bool WritePieces(FILE* source, const std::vector<CopyPiece>& pieces, FILE* to) {
  // Written straight to the descriptor, past stdio, which holds nothing yet.
  if (fflush(to) != 0) return false;
  int output = fileno(to);
  int input = source != nullptr ? fileno(source) : -1;
  bool system_copies = input != -1;
  bool written = true;
  for (size_t i = 0; written && i < pieces.size(); ++i) {
    const CopyPiece& piece = pieces[i];
    size_t done = 0;
    while (system_copies && piece.from_source && done < piece.count) {
      off_t from = static_cast<off_t>(piece.source_offset + done);
      ssize_t copied = copy_file_range(input, &from, output, nullptr, piece.count - done, 0);
      if (copied < 0 && errno == EINTR) continue;
      // Not between these files (another file system, an older kernel), or
      // the source ended early: the program writes the rest itself.
      if (copied <= 0) system_copies = false;
      if (copied > 0) done += static_cast<size_t>(copied);
    }
    written = WriteAll(output, piece.bytes + done, piece.count - done);
  }
  return written;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

size_t FileSizeHint(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) return 0;
  return static_cast<size_t>(status.st_size);
}

const char* MapFile(FILE* file, size_t size) {
  if (size == 0) return nullptr;
  void* bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(file), 0);
  if (bytes == MAP_FAILED) return nullptr;
  struct sigaction action = {};
  action.sa_handler = &CutShortWhileMapped;
  sigaction(SIGBUS, &action, nullptr);
  return static_cast<const char*>(bytes);
}

void UnmapFile(const char* bytes, size_t size) {
  if (bytes != nullptr) munmap(const_cast<char*>(bytes), size);
}

void UseBinaryStandardStreams() {}

unsigned long ProcessNumber() { return static_cast<unsigned long>(getpid()); }

bool IsDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string FullPath(const std::string& path) {
  std::string result = path;
  if (result.empty() || result[0] != '/') {
    std::unique_ptr<char, decltype(&free)> here(getcwd(nullptr, 0), &free);
    if (here) result = std::string(here.get()) + "/" + result;
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool ListFiles(const std::string& root, std::vector<std::string>& files, std::string& error) {
  files.clear();
  if (!CollectFiles(root, "", files, error)) return false;
  for (std::string& name : files)
    for (char& c : name)
      if (c == '/') c = '\\';
  return true;
}

std::string FileBelow(const std::string& root, const std::string& relative) {
  std::string path = root + "/" + relative;
  for (size_t i = root.size() + 1; i < path.size(); ++i)
    if (path[i] == '\\') path[i] = '/';
  return path;
}

bool RunForOutput(const std::vector<std::string>& argv, std::string& output) {
  output.clear();
  if (argv.empty()) return false;
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return false;
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t child = fork();
  if (child < 0) {
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    return false;
  }
  if (child == 0) {
    dup2(pipe_ends[1], 1);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    int nothing = open("/dev/null", O_RDWR);
    if (nothing >= 0) {
      dup2(nothing, 0);
      dup2(nothing, 2);
    }
    execvp(arguments[0], arguments.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  char buffer[4096];
  for (;;) {
    ssize_t got = read(pipe_ends[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(pipe_ends[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kstool
