// Time from the starter's start to the client's start on the launch road
// (the wanted client version installed and current), beside the time Wine
// takes to start and end a trivial program, alternately in the same run.
//   bench_launch <stamped-starter.exe> <client-standin.exe> <trivial.exe> <version> [rounds]
// The starter must be stamped with <version> and an account server that
// answers (the installation report runs beside the launch). Its folder
// receives the installed client: Kestrelon\version.txt, Kestrelon.exe and
// setup_status.txt holding "N" before every round. Both times come from the
// system's process records: the starter's creation to the client's creation,
// and the trivial program's creation to its end. Where the starter's time
// goes is read from the moments its log records appear (and its window).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/file_data.h"
#include "bench_log_watch_win.h"
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

// The points of the launch road, in the order the starter passes them: a
// log record (function, start of the message) or, where the function is
// null, an event seen from outside.
struct Stage {
  const char* label;
  const char* function;
  const char* message;
};
const Stage kStages[] = {
    {"start-up (crash handler, log, cache, window class)", "BootwickApp::InitInstance()", "m_lpCmdLine = "},
    {"settings block search", "BootwickApp::InitInstance()", "Valid sSetting"},
    {"worker start and folders", "SetupHandler::CheckIsVersionIsSynced", "sVersionFileName is "},
    {"version check", "SetupHandler::LaunchClient", "Existing version is current"},
    {"report started, status file and parameter file", "Utility::StartProcess", "sCommandLine = "},
    {"process start", nullptr, "client created"},
};
const int kStageCount = sizeof kStages / sizeof kStages[0];

struct LaunchTimes {
  double to_client = -1;   // starter created -> client created
  double to_window = -1;   // starter created -> its window exists
  double to_end = -1;      // starter created -> starter ended
  double to_report = -1;   // starter created -> the report's answer logged
  double stage[kStageCount] = {};  // starter created -> each point of the road
  std::string problem;
};

// The starter's window, once it exists (and while it does).
bool HasWindow(DWORD process_id) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"KSSetupWindow", nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process_id) return true;
  }
  return false;
}

LaunchTimes LaunchRound(const Layout& layout) {
  LaunchTimes times;
  std::string record_path = layout.folders.records + "\\standin_Kestrelon.txt";
  std::string log_path = layout.folders.temp + "\\KSSetup.txt";
  DeleteFileW(Widen(record_path.c_str()).c_str());
  DeleteFileW(Widen(log_path.c_str()).c_str());  // no record of an earlier round is taken for this one
  if (!bench::WriteFileText(layout.client + "\\setup_status.txt", kStatusN)) {
    times.problem = "cannot write setup_status.txt";
    return times;
  }
  std::vector<std::string> environment = bench::StarterEnvironment(layout.folders);
  environment.push_back("KS_STANDIN_LIFETIME_MS=1500");
  bench::LogWatch log(log_path);
  ks::UniqueHandle starter = bench::Start("\"" + layout.starter + "\"", layout.folders.run, environment);
  if (!starter) {
    times.problem = "cannot start the starter";
    return times;
  }
  DWORD starter_id = GetProcessId(starter.get());
  // The watch wakes on every change of the log; between changes it looks
  // for the window every few milliseconds.
  double window_seen = 0, window_gone = 0;
  DWORD start = GetTickCount();
  std::string record;
  ks::UniqueHandle client;
  while (GetTickCount() - start < kRoundTimeoutMs) {
    log.Poll(3);
    bool has_window = HasWindow(starter_id);
    if (has_window && window_seen == 0) window_seen = bench::SecondsNow();
    if (!has_window && window_seen != 0 && window_gone == 0) window_gone = bench::SecondsNow();
    // The client is held as soon as it has recorded its start, so its times
    // stay readable after it ends.
    if (!client && Utility::ReadWholeFile(record_path.c_str(), record) && !record.empty()) {
      std::string pid_text = bench::RecordField(record, "ProcessId");
      if (!pid_text.empty())
        client.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE,
                                 static_cast<DWORD>(strtoul(pid_text.c_str(), nullptr, 10))));
    }
    // The starter may end before the client has recorded its start.
    bool starter_ended = WaitForSingleObject(starter.get(), 0) == WAIT_OBJECT_0;
    if (!record.empty() && (window_gone != 0 || starter_ended)) break;
  }

  double starter_created = 0, starter_exited = 0, client_created = 0, unused = 0;
  if (record.empty()) {
    times.problem = "the client did not start (see " + log_path + ")";
  } else if (_stricmp(bench::RecordField(record, "WorkingDirectory").c_str(), layout.client.c_str()) != 0) {
    times.problem = "a client elsewhere was started: " + bench::RecordField(record, "CommandLine");
  } else if (!client || !bench::ProcessTimes(client.get(), &client_created, &unused) ||
             !bench::ProcessTimes(starter.get(), &starter_created, &unused)) {
    times.problem = "no process times for the client";
  } else {
    times.to_client = client_created - starter_created;
    if (window_seen != 0) times.to_window = window_seen - starter_created;
    log.Poll(0);
    for (int i = 0; i < kStageCount; ++i) {
      const bench::LogRecord* point =
          kStages[i].function != nullptr ? log.Find(kStages[i].function, kStages[i].message) : nullptr;
      times.stage[i] = point != nullptr ? point->seen - starter_created : -1;
    }
    times.stage[kStageCount - 1] = times.to_client;
  }
  // The starter ends once the client runs and the report has its answer;
  // the watch goes on until then to see when that answer comes.
  while (WaitForSingleObject(starter.get(), 0) != WAIT_OBJECT_0 && GetTickCount() - start < 2 * kRoundTimeoutMs)
    log.Poll(3);
  log.Poll(0);
  const bench::LogRecord* report = log.Find("SetupHandler::InformServerOfInstallation", "sURL = ");
  if (report != nullptr && starter_created != 0) times.to_report = report->seen - starter_created;
  if (WaitForSingleObject(starter.get(), 0) == WAIT_OBJECT_0 &&
      bench::ProcessTimes(starter.get(), &starter_created, &starter_exited)) {
    times.to_end = starter_exited - starter_created;
  }
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

  std::vector<double> baseline, launch, ends, windows, reports, after_client;
  std::vector<std::vector<double>> stages(kStageCount);
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
    windows.push_back(times.to_window);
    if (times.to_report >= 0) reports.push_back(times.to_report);
    after_client.push_back(times.to_end - times.to_client);
    // Each stage as the time since the point before it.
    double before = 0;
    for (int i = 0; i < kStageCount; ++i) {
      if (times.stage[i] < 0) continue;
      stages[i].push_back(times.stage[i] - before);
      before = times.stage[i];
    }
  }

  double added_median = bench::Median(launch) - bench::Median(baseline);
  printf("\n%-52s %9s %9s\n", "", "median", "round 1");
  auto row = [](const char* label, const std::vector<double>& values) {
    if (values.empty()) {
      printf("%-52s %9s\n", label, "-");
      return;
    }
    printf("%-52s %6.1f ms %6.1f ms\n", label, bench::Median(values) * 1e3, values[0] * 1e3);
  };
  row("Wine: trivial program start to end", baseline);
  row("starter start to client start", launch);
  std::vector<double> added;
  for (size_t i = 0; i < launch.size(); ++i) added.push_back(launch[i] - baseline[i]);
  printf("%-52s %6.1f ms %6.1f ms\n", "added by the starter (difference of the medians)", added_median * 1e3,
         added[0] * 1e3);
  printf("where the time goes (each from the point before; the log records mark them):\n");
  for (int i = 0; i < kStageCount; ++i) row((std::string("  ") + kStages[i].label).c_str(), stages[i]);
  row("(starter start to its window shown, in parallel)", windows);
  row("(starter start to the report's answer, in parallel)", reports);
  row("(starter start to its own end)", ends);
  row("(client start to the starter's end)", after_client);
  bool met = added_median <= 0.080;
  printf("target: the starter adds at most 80 ms (medians): %s\n", met ? "met" : "NOT met");
  return 0;
}
