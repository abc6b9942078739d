// Makes the error reports that scripts/bench-triage.sh times kstool triage
// over, with the starter's own report writer: failure reports naming their
// cause (66 in 100), failure reports whose cause only their log tells (28),
// and crash reports with a minidump as the crash test's (6; a run that fails
// sends its report when the operator asks for it, and far more runs fail on
// a network than crash), spread over 30 days and three starter versions,
// named as kstool serve keeps them. Prints how many reports each
// signature should count, as triage prints them.
//   bench_triage <empty-folder> [reports]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "base/text.h"
#include "crash/error_report_text.h"

namespace {

// A run of the starter up to the failure, as its log has it.
std::string FailureLog(const char* last_message, unsigned seed) {
  std::string log;
  unsigned second = 0;
  auto record = [&](const char* operation, int line, const std::string& message) {
    log += ks::Format("2024-05-%02u 09:%02u:%02u\r\nFunction: %s\r\nLine: %d\r\nMessage: %s\r\n\r\n", 1 + seed % 28,
                      seed % 60, second++, operation, line, message.c_str());
  };
  record("MyConfigure::UseCacheFile", 136, "created C:\\Users\\p\\Downloads\\Cache.xml");
  record("BootwickApp::InitInstance()", 78, "m_lpCmdLine = ");
  record("BootwickApp::InitInstance()", 23, "sCurrentFilePath = C:\\Users\\p\\Downloads\\Kestrelon-4711.exe, "
                                            "sCurrentFileName = Kestrelon-4711.exe");
  for (int i = 0; i < 12; ++i) record("Utility::GetUserDirectory()", 76 + i, ks::Format("sFolder%d = C:\\Users\\p", i));
  record("SetupHandler::Download", 42, "In Download: m_sClientDirectory = C:\\Users\\p\\AppData\\Roaming\\Kestrelon");
  record("HLib::GetPage", 129, "sIP = meet.example.org, iPort = 443, URL = /as/wapi/get_client_size, "
                               "m_iExpectedReceiveSize = 0");
  record("HR::DoRequest", 73, "Begin HR::DoRequest(), sIP = meet.example.org, iPort = 443, cPType=D, sByPass=, "
                              "sPAddress=, URL=/as/wapi/get_client_size");
  record("HR::DoRequest", 32, "failed to connect. error code: 12029, error: ");
  record("HR::SendRequest", 168, "HR::SendRequest failed! /as/wapi/get_client_size, meet.example.org, 443");
  record("HLib::GetPage", 25, "HSR() failed, error code: 12029, error: ");
  record("HLib::GetPage", 89, "HTTP fialed. Now try TCP for URL = /as/wapi/get_client_size");
  record("Utility::URLDownload", 64, "connect() failed, host: meet.example.org, error code: 10061, error: "
                                     "Connection refused.");
  record("SetupHandler::Download", 60, last_message);
  return log;
}

// A minidump laid out as Wine's dbghelp writes the starter's (dump type
// 0x51): system information, threads, modules and their names, then the
// memory (the crashed thread's stack and data: zeros, pointers and other
// bytes, about 4:1 in zlib), the crash's processor context, the exception
// stream last. 256 KiB, as the crash test's. Its stack is walked as a
// stack without builds is: by scanning for return addresses.
std::string Minidump(uint32_t code, uint64_t offset, unsigned seed) {
  auto u16 = [](std::string& out, uint32_t v) { out += static_cast<char>(v), out += static_cast<char>(v >> 8); };
  auto u32 = [&](std::string& out, uint32_t v) { u16(out, v & 0xFFFF), u16(out, v >> 16); };
  auto u64 = [&](std::string& out, uint64_t v) {
    u32(out, static_cast<uint32_t>(v)), u32(out, static_cast<uint32_t>(v >> 32));
  };
  const char* const kModules[] = {"C:\\Users\\p\\Downloads\\Kestrelon-4711.exe", "C:\\Windows\\System32\\ntdll.dll",
                                  "C:\\Windows\\System32\\kernel32.dll", "C:\\Windows\\System32\\wininet.dll",
                                  "C:\\Windows\\System32\\ws2_32.dll"};
  const uint32_t kCount = sizeof kModules / sizeof kModules[0];
  const uint32_t kMemoryBytes = 250000;
  const uint32_t kSystem = 32 + 5 * 12, kThreads = kSystem + 56, kModuleList = kThreads + 52;
  const uint32_t kModuleBytes = 4 + kCount * 108, kNames = kModuleList + kModuleBytes;
  std::string names;
  for (const char* module : kModules) {
    u32(names, static_cast<uint32_t>(strlen(module) * 2));
    for (const char* c = module; *c != '\0'; ++c) u16(names, static_cast<unsigned char>(*c));
  }
  const uint32_t kMemoryList = kNames + static_cast<uint32_t>(names.size()), kMemory = kMemoryList + 20;
  const uint32_t kContext = kMemory + kMemoryBytes, kContextBytes = 1232, kException = kContext + kContextBytes;
  const uint64_t kStack = 0x22F000;
  std::string dump;
  u32(dump, 0x504D444D), u32(dump, 0xA793), u32(dump, 5), u32(dump, 32), u32(dump, 0), u32(dump, 0), u64(dump, 0x51);
  const uint32_t kDirectory[][3] = {{7, 56, kSystem},          {3, 52, kThreads}, {4, kModuleBytes, kModuleList},
                                    {5, 20 + kMemoryBytes, kMemoryList}, {6, 168, kException}};
  for (const auto& entry : kDirectory) u32(dump, entry[0]), u32(dump, entry[1]), u32(dump, entry[2]);
  std::string system;
  u16(system, 9), u16(system, 6), u16(system, 0x0201), u32(system, 6), u32(system, 1), u32(system, 7601);
  dump += system + std::string(56 - system.size(), '\0');
  u32(dump, 1), u32(dump, 720);
  dump += std::string(20, '\0');
  u64(dump, kStack), u32(dump, kMemoryBytes), u32(dump, kMemory), u32(dump, kContextBytes), u32(dump, kContext);
  u32(dump, kCount);
  for (uint32_t i = 0, name = kNames; i < kCount; ++i) {
    std::string entry;
    u64(entry, 0x140000000ull + i * 0x1000000), u32(entry, 0x200000), u32(entry, 0), u32(entry, 0), u32(entry, name);
    dump += entry + std::string(108 - entry.size(), '\0');
    name += 4 + static_cast<uint32_t>(strlen(kModules[i]) * 2);
  }
  dump += names;
  u32(dump, 1), u64(dump, kStack), u32(dump, kMemoryBytes), u32(dump, kMemory);
  uint64_t state = seed * 2654435761u + 1;
  while (dump.size() < kException) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    unsigned kind = static_cast<unsigned>(state % 20);
    if (kind < 15)
      u64(dump, 0);
    else if (kind < 18)
      u64(dump, 0x140000000ull + (state >> 20 & 0xFFFFF));
    else
      u64(dump, state);
  }
  dump.resize(kContext);
  // CONTEXT: its flags (x64, every part) at 0x30, rax to r15 from 0x78, rip.
  std::string context(0x30, '\0');
  u32(context, 0x0010001F);
  context.resize(0x78 + 4 * 8);
  u64(context, kStack + 0x100);  // rsp; rbp and the rest zero
  context.resize(0xF8);
  u64(context, 0x140000000ull + offset);
  dump += context + std::string(kContextBytes - context.size(), '\0');
  std::string exception;
  u32(exception, 720), u32(exception, 0), u32(exception, code), u32(exception, 0), u64(exception, 0);
  u64(exception, 0x140000000ull + offset);
  exception.resize(160);
  u32(exception, kContextBytes), u32(exception, kContext);
  return dump + exception + std::string(168 - exception.size(), '\0');
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: bench_triage <empty-folder> [reports]\n");
    return 2;
  }
  std::string folder = argv[1];
  long reports = argc > 2 ? atol(argv[2]) : 100000;
  struct Kind {
    const char* cause;    // named in the error text, or null: the log tells
    const char* message;  // the log's last record
    unsigned weight;      // of 100
  };
  const Kind kKinds[] = {
      {"server-unreachable", "Failed to download client from: meet.example.org::443, iDownloadSize = 0, sDownloadSize = ", 34},
      {"proxy-refused", "Failed to download client from: meet.example.org::443, iDownloadSize = 0, sDownloadSize = ", 14},
      {"incomplete-download", "Filed to complete download: iExpectedDownloadSize = 9000000, actual received = 52", 14},
      {"disk", "Filed to open file to write: C:\\Users\\p\\AppData\\Local\\Temp\\PCClient.zip", 4},
      {nullptr, "Failed to download client from: meet.example.org::443, iDownloadSize = 0, sDownloadSize = ", 28},
      {nullptr, nullptr, 6},  // a crash
  };
  // As the starter's version text carries them.
  const char* const kVersions[] = {"5.2.1 V5.0 SP1 of Bootwick", "5.2.1 V5.0 SP1 of Bootwick",
                                   "5.2.0 V5.0 SP1 of Bootwick", "5.1.9 V5.0 SP1 of Bootwick"};
  const uint32_t kCodes[] = {0xC0000005, 0xC0000005, 0xC00000FD, 0xC0000409};
  std::map<std::string, long> expected;
  for (long n = 0; n < reports; ++n) {
    unsigned pick = static_cast<unsigned>((n * 7919) % 100);
    const Kind* kind = &kKinds[0];
    for (const Kind& k : kKinds) {
      if (pick < k.weight) {
        kind = &k;
        break;
      }
      pick -= k.weight;
    }
    unsigned seed = static_cast<unsigned>(n);
    ErrorReportFacts facts;
    facts.current_file = "Kestrelon-4711.exe";
    facts.current_directory = "C:\\Users\\p\\Downloads";
    facts.version = kVersions[n % 4];
    facts.computer_name = "pc";
    facts.computer_address = "192.0.2.7";
    facts.os_description = "Microsoft Windows Vista Professional  (Build 7601)";
    facts.ie_version = "9.11.9600.18376";
    facts.ie_minor_version = "Not Found";
    facts.ie_build = "99600";
    facts.cache = MakeTextAttachment("<__GUI_PASSWORD__></__GUI_PASSWORD__><__AccessSetting__>D</__AccessSetting__>");
    std::string signature;
    if (kind->message == nullptr) {
      uint32_t code = kCodes[n % 4];
      uint64_t offset = 0x3D2A6 + (n % 3) * 0x100;
      facts.last_error = 183;
      facts.last_error_text = "File already exists.\r\n";
      facts.log = MakeTextAttachment(FailureLog("crasher ready", seed));
      facts.dump = MakeDumpAttachment(Minidump(code, offset, seed));
      signature = ks::Format("crash: 0x%08X", code);
    } else {
      facts.last_error_text = kind->cause != nullptr ? kind->cause : "";
      facts.log = MakeTextAttachment(FailureLog(kind->message, seed));
      signature = std::string("failed: ") + (kind->cause != nullptr ? kind->cause : "server-unreachable");
    }
    ++expected[signature];
    std::string path = folder + ks::Format("/report-202405%02u-%02u%02u%02u-%ld.txt", 1 + seed % 30, seed % 24,
                                           seed % 60, (seed / 60) % 60, n + 1);
    std::string body = BuildErrorReportBody(BuildErrorReportText(facts));
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(body.data(), 1, body.size(), file) != body.size() || fclose(file) != 0) {
      fprintf(stderr, "bench_triage: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  for (const auto& entry : expected) printf("%ld %s\n", entry.second, entry.first.c_str());
  return 0;
}
