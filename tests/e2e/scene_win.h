#pragma once
// The folders of one end-to-end scenario and what the stand-in programs
// leave in them.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/app_test_util_win.h"
#include "base/handles_win.h"
#include "base/wide_text.h"
#include "standins/standin_client_win.h"
#include "fixtures/win_test_util_win.h"

namespace e2e {

const char kStarterName[] = "KestrelonStarter.exe";

using kstest::MakeDirectory;

// Names of the plain files directly in a folder.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  ks::UniqueFind find(FindFirstFileW(Widen((folder + "\\*").c_str()).c_str(), &data));
  if (!find) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Narrow(data.cFileName));
  } while (FindNextFileW(find.get(), &data));
  return names;
}

using Tree = std::map<std::string, std::string>;

// Every file below `folder`, by its path relative to it, with its content.
inline void CollectTree(const std::string& folder, const std::string& relative, Tree* tree) {
  WIN32_FIND_DATAW data;
  std::string here = relative.empty() ? folder : folder + "\\" + relative;
  ks::UniqueFind find(FindFirstFileW(Widen((here + "\\*").c_str()).c_str(), &data));
  if (!find) return;
  do {
    std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CollectTree(folder, path, tree);
    else
      (*tree)[path] = kstest::ReadFileOrEmpty(folder + "\\" + path);
  } while (FindNextFileW(find.get(), &data));
}
inline Tree TreeOf(const std::string& folder) {
  Tree tree;
  CollectTree(folder, "", &tree);
  return tree;
}

// Ends a stand-in that a record names, if it still runs. The image name is
// checked so that a process id reused since is never ended by mistake.
inline void EndRecordedProgram(const std::string& record_path) {
  std::string program = standin_client::RecordValue(record_path, "Program");
  DWORD id = static_cast<DWORD>(atol(standin_client::RecordValue(record_path, "ProcessId").c_str()));
  if (program.empty() || id == 0) return;
  ks::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return;
  wchar_t image[MAX_PATH];
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(process.get(), 0, image, &length)) return;
  std::wstring expected = L"\\" + Widen((program + ".exe").c_str());
  std::wstring name(image, length);
  if (name.size() < expected.size() ||
      _wcsicmp(name.c_str() + name.size() - expected.size(), expected.c_str()) != 0)
    return;
  TerminateProcess(process.get(), 1);
  WaitForSingleObject(process.get(), 5000);
}

// The folders of one scenario: the starter's folder ("app", also its working
// directory), its temporary folder ("tmp") and the stand-ins' records.
class Scene {
 public:
  Scene() : root_("kse2e"), app_(root_.File("app")), tmp_(root_.File("tmp")), records_(root_.File("records")) {
    MakeDirectory(app_);
    MakeDirectory(tmp_);
    MakeDirectory(records_);
  }
  // Every stand-in the starter started is ended before its files go.
  ~Scene() {
    for (const std::string& name : FilesIn(records_)) EndRecordedProgram(records_ + "\\" + name);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Another folder (a small file system of its own) as the starter's
  // temporary folder.
  void UseTemp(const std::string& folder) { tmp_ = folder; }

  const std::string& root() const { return root_.path(); }
  const std::string& app() const { return app_; }
  const std::string& tmp() const { return tmp_; }
  const std::string& records() const { return records_; }
  std::string Starter() const { return app_ + "\\" + kStarterName; }
  std::string SetupDirectory() const { return tmp_ + "\\ks_starter_dir"; }

  std::vector<std::string> Log() const {
    return apptest::LogMessages(kstest::ReadFileOrEmpty(tmp_ + "\\KSSetup.txt"));
  }
  bool Logged(const std::string& message) const { return apptest::FindMessage(Log(), message) >= 0; }
  bool LoggedPrefix(const std::string& prefix) const { return apptest::FindMessage(Log(), prefix, true) >= 0; }

  // A stand-in's start record, by the program name it records under.
  std::string RecordPath(const std::string& program) const { return standin_client::RecordPath(records_, program); }
  bool Started(const std::string& program) const { return standin_client::HasRecord(RecordPath(program)); }
  std::string Recorded(const std::string& program, const char* field) const {
    return standin_client::RecordValue(RecordPath(program), field);
  }
  std::vector<std::string> Records() const { return FilesIn(records_); }

 private:
  kstest::TempDir root_;
  std::string app_;
  std::string tmp_;
  std::string records_;
};

}  // namespace e2e
