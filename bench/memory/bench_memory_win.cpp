// Peak memory of a whole download and unpack of the client package by the
// real starter (stamped copies that fetch it from local "kstool serve"s),
// beside references measured the same way in the same run: a trivial
// program, and the starter itself while it waits for the package size.
//   bench_memory <trivial.exe> <package-file> [--env=NAME=value]... <label>=<stamped-starter.exe>...
// A label starting with "waiting" names a starter whose server holds back
// the size reply: it is read once it has asked. Every other starter is read
// when it has downloaded and unpacked the package and started the launcher
// from it. --env options change the environment of the next starter only.
// Each program is read while it still runs, two ways: GetProcessMemoryInfo on
// its handle, and the figures Linux keeps for the process behind it
// (/proc/<pid>/status, reached through drive Z:). A probe first checks which
// figures are true peaks under Wine: a trivial program that touches 64 MiB
// and frees them again.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/file_data.h"
#include "bench_process_win.h"

namespace {

const double kMiB = 1024.0 * 1024.0;
const int kProbeMiB = 64;
const long long kAllowedAbovePackage = 32LL << 20;

// What Linux records for the process: its peak resident set and the
// anonymous (private) part of the current one.
struct LinuxFigures {
  bool found = false;
  long long hwm = 0;
  long long anon = 0;
};

struct Figures {
  PROCESS_MEMORY_COUNTERS counters = {};
  SIZE_T sampled_pagefile = 0;  // largest PagefileUsage seen while it ran
  LinuxFigures linux_side;
};

// Field "Name:   1234 kB" of a status text, in bytes (0 when missing).
long long StatusField(const std::string& status, const char* name) {
  size_t at = status.find(std::string("\n") + name + ":");
  if (at == std::string::npos) return 0;
  return strtoll(status.c_str() + at + strlen(name) + 2, nullptr, 10) * 1024;
}

// The Linux process of a program started with `arguments`: Wine shows its
// command line there as the program path and the arguments, NUL-separated
// and unquoted.
LinuxFigures FindLinuxFigures(const std::string& program, const std::string& arguments) {
  LinuxFigures figures;
  std::string wanted = arguments.empty() ? program : program + " " + arguments;
  WIN32_FIND_DATAW entry;
  ks::UniqueFind find(FindFirstFileW(L"Z:\\proc\\*", &entry));
  if (!find) return figures;
  do {
    if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
    std::string folder = "Z:\\proc\\" + Narrow(entry.cFileName);
    std::string cmdline;
    if (!Utility::ReadWholeFile((folder + "\\cmdline").c_str(), cmdline)) continue;
    for (char& c : cmdline)
      if (c == '\0') c = ' ';
    if (cmdline.compare(0, wanted.size(), wanted) != 0 ||
        (cmdline.size() > wanted.size() && cmdline[wanted.size()] != ' '))
      continue;
    std::string status;
    if (!Utility::ReadWholeFile((folder + "\\status").c_str(), status)) continue;
    figures.found = true;
    figures.hwm = StatusField(status, "VmHWM");
    figures.anon = StatusField(status, "RssAnon");
    return figures;
  } while (FindNextFileW(find.get(), &entry));
  return figures;
}

void Sample(HANDLE process, Figures* figures) {
  PROCESS_MEMORY_COUNTERS now = {};
  now.cb = sizeof now;
  if (!GetProcessMemoryInfo(process, &now, sizeof now)) return;
  if (now.PagefileUsage > figures->sampled_pagefile) figures->sampled_pagefile = now.PagefileUsage;
}

// Final reading of a program that still runs.
void Read(HANDLE process, const std::string& program, const std::string& arguments, Figures* figures) {
  Sample(process, figures);
  figures->counters.cb = sizeof figures->counters;
  GetProcessMemoryInfo(process, &figures->counters, sizeof figures->counters);
  figures->linux_side = FindLinuxFigures(program, arguments);
}

// Runs the trivial program until it has signalled, reads it and ends it.
bool MeasureTrivial(const std::string& trivial, int probe_mib, Figures* figures) {
  std::string event_name = "ks_bench_memory_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(probe_mib);
  ks::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, Widen(event_name.c_str()).c_str()));
  std::string arguments =
      "--ready-event=" + event_name + " --probe-mib=" + std::to_string(probe_mib) + " --wait-ms=60000";
  ks::UniqueHandle process = bench::Start("\"" + trivial + "\" " + arguments, "", {});
  if (!process || !ready) return false;
  HANDLE both[2] = {ready.get(), process.get()};
  bool signalled = WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
  if (signalled) Read(process.get(), trivial, arguments, figures);
  bench::EnsureEnded(process.get());
  return signalled;
}


void CountTree(const std::string& folder, int* files, long long* bytes) {
  WIN32_FIND_DATAW entry;
  ks::UniqueFind find(FindFirstFileW(Widen((folder + "\\*").c_str()).c_str(), &entry));
  if (!find) return;
  do {
    std::string name = Narrow(entry.cFileName);
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CountTree(folder + "\\" + name, files, bytes);
    } else {
      ++*files;
      *bytes += (static_cast<long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    }
  } while (FindNextFileW(find.get(), &entry));
}

bool LogHas(const std::string& log_path, const char* text) {
  std::string log;
  return Utility::ReadWholeFile(log_path.c_str(), log) && log.find(text) != std::string::npos;
}

// The starter's whole run: from its start until the launcher it unpacked has
// been started (the last step of the download road); its window stays open
// afterwards, so it is still there to be read. A waiting starter is read once
// it has asked for the package size.
bool MeasureStarter(const std::string& starter, bool waiting, const std::vector<std::string>& environment,
                    DWORD timeout_ms, Figures* figures, std::string* problem) {
  bench::StarterFolders folders = bench::MakeStarterFolders(starter);
  std::string record_path = folders.records + "\\standin_KSLauncher.txt";
  std::vector<std::string> changes = bench::StarterEnvironment(folders);
  changes.insert(changes.end(), environment.begin(), environment.end());
  ks::UniqueHandle process = bench::Start("\"" + starter + "\"", folders.run, changes);
  if (!process) {
    *problem = "cannot start the starter";
    return false;
  }
  std::string log_path = folders.temp + "\\KSSetup.txt";
  DWORD start = GetTickCount();
  bool launched = false;
  while (!launched && GetTickCount() - start < timeout_ms) {
    Sample(process.get(), figures);
    launched = waiting ? LogHas(log_path, "URL = /as/wapi/get_client_size") : bench::Exists(record_path);
    if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) break;
  }
  if (launched && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
    // The worker ends right after starting the launcher; a waiting starter
    // has opened its window meanwhile.
    Sleep(waiting ? 1000 : 200);
    Read(process.get(), starter, "", figures);
  }
  bench::EnsureEnded(process.get());
  if (waiting) {
    if (!launched) *problem = "the starter did not ask for the package size (see " + log_path + ")";
    return launched;
  }
  if (!launched) {
    *problem = "the starter did not reach the launcher within the time (see " + log_path + ")";
    return false;
  }
  if (bench::Exists(folders.temp + "\\PCClient.zip")) {
    *problem = "the package was not unpacked completely (see " + log_path + ")";
    return false;
  }
  int files = 0;
  long long bytes = 0;
  CountTree(folders.temp + "\\ks_starter_dir", &files, &bytes);
  printf("downloaded, unpacked %d files (%.1f MiB) and started the launcher in %.1f s\n", files, bytes / kMiB,
         (GetTickCount() - start) / 1000.0);
  return true;
}

std::string MiB(long long bytes) {
  char text[32];
  snprintf(text, sizeof text, "%8.1f", bytes / kMiB);
  return text;
}

void PrintRow(const std::string& name, const Figures& f) {
  printf("%-38s %s %s %s %s %s %s\n", name.c_str(), MiB(f.counters.PeakWorkingSetSize).c_str(),
         f.linux_side.found ? MiB(f.linux_side.hwm).c_str() : "       ?",
         MiB(f.counters.PeakPagefileUsage).c_str(), MiB(f.counters.PagefileUsage).c_str(),
         MiB(f.sampled_pagefile).c_str(), f.linux_side.found ? MiB(f.linux_side.anon).c_str() : "       ?");
}

struct Starter {
  std::string label;
  std::string path;
  bool waiting = false;
  std::vector<std::string> environment;
  Figures figures;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: bench_memory <trivial.exe> <package-file> <label>=<stamped-starter.exe>...\n");
    return 2;
  }
  std::string trivial = bench::FullPath(argv[1]), package = bench::FullPath(argv[2]);
  long long package_size = Utility::FileSize(package.c_str());
  if (package_size <= 0) {
    fprintf(stderr, "no package at %s\n", package.c_str());
    return 2;
  }
  std::vector<Starter> starters;
  std::vector<std::string> environment;
  for (int i = 3; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument.compare(0, 6, "--env=") == 0) {
      environment.push_back(argument.substr(6));
      continue;
    }
    size_t equals = argument.find('=');
    if (equals == std::string::npos) return 2;
    Starter starter;
    starter.label = argument.substr(0, equals);
    starter.path = bench::FullPath(argument.substr(equals + 1).c_str());
    starter.waiting = starter.label.compare(0, 7, "waiting") == 0;
    starter.environment.swap(environment);
    starters.push_back(starter);
  }

  Figures probe, reference;
  if (!MeasureTrivial(trivial, kProbeMiB, &probe) || !MeasureTrivial(trivial, 0, &reference)) {
    fprintf(stderr, "the trivial program did not run\n");
    return 1;
  }
  for (Starter& starter : starters) {
    printf("starter, %s: ", starter.label.c_str());
    fflush(stdout);
    std::string problem;
    if (!MeasureStarter(starter.path, starter.waiting, starter.environment, 300000, &starter.figures, &problem)) {
      printf("FAILED: %s\n", problem.c_str());
      return 1;
    }
    if (starter.waiting) printf("asked for the package size\n");
  }

  printf("\nMiB                                    PeakWS    VmHWM    PeakPF   PF(end)  PF(max)  RssAnon\n");
  PrintRow("probe: 64 MiB touched, freed", probe);
  PrintRow("trivial program (reference)", reference);
  for (const Starter& starter : starters) PrintRow("starter, " + starter.label, starter.figures);
  printf("(PeakWS and PF: GetProcessMemoryInfo PeakWorkingSetSize and PagefileUsage; PF(max): the largest\n"
         " PagefileUsage sampled every 50 ms; VmHWM and RssAnon: /proc/<pid>/status of the Wine process)\n");

  // Which figure is a true peak here: the probe's freed block must show in it.
  long long probe_bytes = static_cast<long long>(kProbeMiB) << 20;
  bool ws_is_peak = static_cast<long long>(probe.counters.PeakWorkingSetSize) >=
                    static_cast<long long>(reference.counters.PeakWorkingSetSize) + probe_bytes * 9 / 10;
  bool pf_is_peak = static_cast<long long>(probe.counters.PeakPagefileUsage) >=
                    static_cast<long long>(reference.counters.PeakPagefileUsage) + probe_bytes * 9 / 10;
  bool linux_found = true, linux_matches = true;
  for (const Starter& starter : starters) {
    const Figures& f = starter.figures;
    linux_found = linux_found && f.linux_side.found;
    linux_matches = linux_matches && f.linux_side.found &&
                    llabs(static_cast<long long>(f.counters.PeakWorkingSetSize) - f.linux_side.hwm) <= (1LL << 20);
  }
  printf("\nPeakWorkingSetSize %s a true peak (the probe's freed 64 MiB %s in it)%s\n", ws_is_peak ? "is" : "is NOT",
         ws_is_peak ? "show" : "do not show",
         !linux_found ? "; Linux's figures were not found"
                      : (linux_matches ? " and equals Linux's VmHWM" : " but differs from Linux's VmHWM"));
  printf("PeakPagefileUsage %s a true peak here%s\n", pf_is_peak ? "is" : "is NOT",
         pf_is_peak ? "" : " (Wine reports the current private bytes), so it is not used");

  long long allowed = package_size + kAllowedAbovePackage;
  long long trivial_peak = static_cast<long long>(reference.counters.PeakWorkingSetSize);
  printf("\npackage size                                     %s MiB (%lld bytes)\n", MiB(package_size).c_str(), package_size);
  printf("allowed peak (package + 32 MiB)                  %s MiB\n", MiB(allowed).c_str());
  printf("trivial program's peak (reference)               %s MiB\n", MiB(trivial_peak).c_str());
  bool all_hold = ws_is_peak;
  long long before_download = -1;
  for (const Starter& starter : starters)
    if (starter.waiting) before_download = static_cast<long long>(starter.figures.counters.PeakWorkingSetSize);
  for (const Starter& starter : starters) {
    long long peak = static_cast<long long>(starter.figures.counters.PeakWorkingSetSize);
    if (starter.waiting) {
      printf("starter's peak, %-32s %s MiB\n", starter.label.c_str(), MiB(peak).c_str());
      continue;
    }
    bool holds = peak <= allowed;
    all_hold = all_hold && holds;
    printf("starter's peak, %-32s %s MiB = package + %.1f MiB: %s\n", starter.label.c_str(), MiB(peak).c_str(),
           (peak - package_size) / kMiB, holds ? "holds" : "does NOT hold");
    if (before_download >= 0)
      printf("    above the starter before the download: package + %.1f MiB\n",
             (peak - before_download - package_size) / kMiB);
  }
  printf("target: peak at most package + 32 MiB: %s\n",
         !ws_is_peak ? "not measurable (no true peak figure)" : (all_hold ? "holds" : "does NOT hold"));
  return 0;
}
