// One whole starter run's package download, as a participant meets it: a
// stamped starter (fresh process, fresh buffer) asks a local "kstool serve"
// for the package and downloads it with its window showing the progress.
//   bench_net_starter <stamped-starter.exe> [--env=NAME=value]...
// Prints the seconds from the starter's "iDownloadSize = " record (size
// known, download thread starting) to its "Download is completed" record,
// and to the download thread's own "GetPagef succeeded" record, then ends
// the starter (the package bytes are not a valid archive; what follows the
// download is not measured). Records are timed by when they appear in the
// log, within a few milliseconds.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_log_watch_win.h"
#include "bench_process_win.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: bench_net_starter <stamped-starter.exe> [--env=NAME=value]...\n");
    return 2;
  }
  std::string starter = bench::FullPath(argv[1]);
  bench::StarterFolders folders = bench::MakeStarterFolders(starter);
  std::vector<std::string> environment = bench::StarterEnvironment(folders);
  for (int i = 2; i < argc; ++i)
    if (strncmp(argv[i], "--env=", 6) == 0) environment.push_back(argv[i] + 6);

  std::string log_path = folders.temp + "\\KSSetup.txt";
  DeleteFileW(Widen(log_path.c_str()).c_str());
  bench::LogWatch log(log_path);
  ks::UniqueHandle process = bench::Start("\"" + starter + "\"", folders.run, environment);
  if (!process) {
    fprintf(stderr, "cannot start %s\n", starter.c_str());
    return 1;
  }
  bench::LogRecord size_known, fetched, completed;
  bool ok = log.WaitFor("SetupHandler::Download", "iDownloadSize = ", 60000, process.get(), &size_known) &&
            log.WaitFor("SetupDownloader::Run", "GetPagef ", 300000, process.get(), &fetched) &&
            fetched.message.compare(0, 18, "GetPagef succeeded") == 0 &&
            log.WaitFor("SetupHandler::Download", "Download is completed", 60000, process.get(), &completed);
  bench::EnsureEnded(process.get());
  if (!ok) {
    fprintf(stderr, "the download did not complete (see %s)\n", log_path.c_str());
    return 1;
  }
  double start = size_known.seen;
  double end = completed.seen, fetch_end = fetched.seen;
  printf("%.4f %.4f\n", end - start, fetch_end - start);
  return 0;
}
