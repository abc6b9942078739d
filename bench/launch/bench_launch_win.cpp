// Time from the starter's start to the client's start on the launch road
// (the wanted client version installed and current), beside the time Wine
// takes to start and end a trivial program, alternately in the same run.
//   bench_launch <stamped-starter.exe> <client-standin.exe> <trivial.exe> <version> [rounds]
// The starter must be stamped with <version> and an account server that
// answers (the installation report is part of the launch road). Its folder
// receives the installed client: Kestrelon\version.txt, Kestrelon.exe and
// setup_status.txt holding "N" before every round. Both times come from the
// system's process records: the starter's creation to the client's creation,
// and the trivial program's creation to its end.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/file_data.h"
#include "bench_process_win.h"

namespace {

const DWORD kRoundTimeoutMs = 30000;
const char kStatusN[] = "<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>";

struct Layout {
  std::string starter;
  bench::StarterFolders folders;
  std::string client;  // the starter's folder\Kestrelon
};

bool Prepare(const std::string& starter, const std::string& standin, const std::string& version, Layout* layout) {
  layout->starter = starter;
  layout->folders = bench::MakeStarterFolders(starter);
  layout->client = layout->folders.run + "\\Kestrelon";
  CreateDirectoryW(Widen(layout->client.c_str()).c_str(), nullptr);
  return CopyFileW(Widen(standin.c_str()).c_str(), Widen((layout->client + "\\Kestrelon.exe").c_str()).c_str(),
                   FALSE) &&
         bench::WriteFileText(layout->client + "\\version.txt", version + "\r\n");
}

// Start to end of the trivial program, in seconds; negative on failure.
double TrivialRound(const std::string& trivial) {
  ks::UniqueHandle process = bench::Start("\"" + trivial + "\"", "", {});
  if (!process || WaitForSingleObject(process.get(), kRoundTimeoutMs) != WAIT_OBJECT_0) {
    bench::EnsureEnded(process.get());
    return -1;
  }
  double created = 0, exited = 0;
  if (!bench::ProcessTimes(process.get(), &created, &exited) || exited == 0) return -1;
  return exited - created;
}

struct LaunchTimes {
  double to_client = -1;   // starter created -> client created
  double to_end = -1;      // starter created -> starter ended
  std::string problem;
};

LaunchTimes LaunchRound(const Layout& layout) {
  LaunchTimes times;
  std::string record_path = layout.folders.records + "\\standin_Kestrelon.txt";
  DeleteFileW(Widen(record_path.c_str()).c_str());
  if (!bench::WriteFileText(layout.client + "\\setup_status.txt", kStatusN)) {
    times.problem = "cannot write setup_status.txt";
    return times;
  }
  std::vector<std::string> environment = bench::StarterEnvironment(layout.folders);
  environment.push_back("KS_STANDIN_LIFETIME_MS=1500");
  ks::UniqueHandle starter = bench::Start("\"" + layout.starter + "\"", layout.folders.run, environment);
  if (!starter) {
    times.problem = "cannot start the starter";
    return times;
  }
  // Woken by the record's arrival rather than polling hard, so the waiting
  // takes no processor time from the starter.
  HANDLE change = FindFirstChangeNotificationW(Widen(layout.folders.records.c_str()).c_str(), FALSE,
                                               FILE_NOTIFY_CHANGE_FILE_NAME);
  DWORD start = GetTickCount();
  std::string record;
  while (GetTickCount() - start < kRoundTimeoutMs) {
    if (Utility::ReadWholeFile(record_path.c_str(), record) && !record.empty()) break;
    if (change != INVALID_HANDLE_VALUE) {
      WaitForSingleObject(change, 20);
      FindNextChangeNotification(change);
    } else {
      Sleep(5);
    }
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
  std::string pid_text = bench::RecordField(record, "ProcessId");
  ks::UniqueHandle client;
  if (!pid_text.empty())
    client.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE,
                             static_cast<DWORD>(strtoul(pid_text.c_str(), nullptr, 10))));

  double starter_created = 0, starter_exited = 0, client_created = 0, unused = 0;
  if (record.empty()) {
    times.problem = "the client did not start (see " + layout.folders.temp + "\\KSSetup.txt)";
  } else if (_stricmp(bench::RecordField(record, "WorkingDirectory").c_str(), layout.client.c_str()) != 0) {
    times.problem = "a client elsewhere was started: " + bench::RecordField(record, "CommandLine");
  } else if (!client || !bench::ProcessTimes(client.get(), &client_created, &unused) ||
             !bench::ProcessTimes(starter.get(), &starter_created, &unused)) {
    times.problem = "no process times for the client";
  } else {
    times.to_client = client_created - starter_created;
  }
  // The starter closes its window and ends once the client runs.
  if (WaitForSingleObject(starter.get(), kRoundTimeoutMs) == WAIT_OBJECT_0 &&
      bench::ProcessTimes(starter.get(), &starter_created, &starter_exited))
    times.to_end = starter_exited - starter_created;
  bench::EnsureEnded(starter.get());
  if (client && WaitForSingleObject(client.get(), 10000) != WAIT_OBJECT_0) bench::EnsureEnded(client.get());
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: bench_launch <stamped-starter.exe> <client-standin.exe> <trivial.exe> <version> [rounds]\n");
    return 2;
  }
  std::string starter = bench::FullPath(argv[1]), standin = bench::FullPath(argv[2]),
              trivial = bench::FullPath(argv[3]), version = argv[4];
  int rounds = argc > 5 ? atoi(argv[5]) : 15;
  if (rounds < 1) return 2;
  Layout layout;
  if (!Prepare(starter, standin, version, &layout)) {
    fprintf(stderr, "cannot lay out the installed client beside %s\n", starter.c_str());
    return 1;
  }

  std::vector<double> baseline, launch, ends;
  printf("launch road: %d rounds after one warm-up round, trivial program and starter alternately\n", rounds);
  for (int round = 0; round <= rounds; ++round) {
    double trivial_seconds = TrivialRound(trivial);
    LaunchTimes times = LaunchRound(layout);
    if (trivial_seconds < 0 || times.to_client < 0) {
      fprintf(stderr, "round %d failed: %s\n", round,
              trivial_seconds < 0 ? "the trivial program did not run" : times.problem.c_str());
      return 1;
    }
    printf("round %2d  trivial program %7.1f ms   starter to client start %7.1f ms   starter ended after %7.1f ms%s\n",
           round, trivial_seconds * 1e3, times.to_client * 1e3, times.to_end * 1e3, round == 0 ? "  (warm-up)" : "");
    fflush(stdout);
    if (round == 0) continue;
    baseline.push_back(trivial_seconds);
    launch.push_back(times.to_client);
    ends.push_back(times.to_end);
  }

  double added_median = bench::Median(launch) - bench::Median(baseline);
  double added_best = bench::Best(launch) - bench::Best(baseline);
  printf("\n%-44s %9s %9s\n", "", "median", "best");
  printf("%-44s %7.1f ms %7.1f ms\n", "Wine: trivial program start to end", bench::Median(baseline) * 1e3,
         bench::Best(baseline) * 1e3);
  printf("%-44s %7.1f ms %7.1f ms\n", "starter start to client start", bench::Median(launch) * 1e3,
         bench::Best(launch) * 1e3);
  printf("%-44s %7.1f ms %7.1f ms\n", "added by the starter", added_median * 1e3, added_best * 1e3);
  printf("%-44s %7.1f ms %7.1f ms\n", "(starter start to its own end)", bench::Median(ends) * 1e3,
         bench::Best(ends) * 1e3);
  bool met = added_median <= 0.150;
  printf("target: the starter adds at most 150 ms (medians): %s\n", met ? "met" : "NOT met");
  return 0;
}
