// One starter run as a participant meets it: a stamped starter in its own
// folders ("tmp" beside it is its temporary folder, where a cut download's
// part is kept between runs), run until it has started the launcher or its
// download ended incomplete; then it and the launcher are ended.
//   bench_resume <stamped-starter.exe>
// Prints "installed" or "incomplete"; exits 1 when the run reached neither.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_log_watch_win.h"
#include "bench_process_win.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: bench_resume <stamped-starter.exe>\n");
    return 2;
  }
  std::string starter = bench::FullPath(argv[1]);
  bench::StarterFolders folders = bench::MakeStarterFolders(starter);
  std::string log_path = folders.temp + "\\KSSetup.txt";
  DeleteFileW(Widen(log_path.c_str()).c_str());
  bench::LogWatch log(log_path);
  ks::UniqueHandle process = bench::Start("\"" + starter + "\"", folders.run, bench::StarterEnvironment(folders));
  if (!process) {
    fprintf(stderr, "cannot start %s\n", starter.c_str());
    return 1;
  }
  const char* outcome = nullptr;
  DWORD start = GetTickCount();
  while (outcome == nullptr && GetTickCount() - start < 600000 &&
         WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
    log.Poll(50);
    if (log.Find("SetupHandler::CallToInstall", "StartProcess(sStartProcess = ") != nullptr)
      outcome = "installed";
    else if (log.Find("SetupHandler::Download", "Filed to complete download") != nullptr)
      outcome = "incomplete";
  }
  bench::EnsureEnded(process.get());
  // The stand-in launcher records its start and ends by itself.
  if (outcome == nullptr) {
    fprintf(stderr, "the run neither installed nor ended incomplete (see %s)\n", log_path.c_str());
    return 1;
  }
  printf("%s\n", outcome);
  return 0;
}
