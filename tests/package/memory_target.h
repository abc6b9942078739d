#pragma once
// An unpack target in memory for the portable package tests: records every
// directory and file the walk asks for, and can refuse chosen files the way a
// file held by another program refuses to be created.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "package/package_unpack.h"

class MemoryTarget : public package::UnpackTarget {
 public:
  bool PathFits(const char* path) override { return std::string(path).size() < 260; }
  int CreateDirectories(const char* directory) override {
    directories.push_back(directory);
    return directory_result;
  }
  package::ByteSink* CreateOutput(const char* path) override {
    if (locked.count(path)) return nullptr;
    std::string& content = files[path];
    content.clear();
    sink_.reset(new package::StringSink(&content));
    ++opened;
    return sink_.get();
  }
  bool CloseOutput() override {
    sink_.reset();
    return close_result;
  }
  void LogErrorCode() override { ++error_lines; }
  void EntryFailed(const char* path) override { failed.push_back(path); }

  std::map<std::string, std::string> files;
  std::vector<std::string> directories;
  std::vector<std::string> failed;
  std::set<std::string> locked;
  int directory_result = 0;
  bool close_result = true;
  int opened = 0;
  int error_lines = 0;

 private:
  std::unique_ptr<package::StringSink> sink_;
};

// True when `path` lies below `destination` once "." and ".." levels are
// resolved the way the file system resolves them ('/' and '\' alike).
inline bool StaysBelow(const std::string& destination, const std::string& path) {
  std::string prefix = destination;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  int depth = 0;
  std::string level;
  std::string rest = path.substr(prefix.size()) + "\\";
  for (char c : rest) {
    if (c != '\\' && c != '/') {
      level += c;
      continue;
    }
    if (level == "..") {
      if (--depth < 0) return false;
    } else if (!level.empty() && level != ".") {
      if (level.find(':') != std::string::npos) return false;
      ++depth;
    }
    level.clear();
  }
  return true;
}
