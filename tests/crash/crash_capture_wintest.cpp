// Crashes a small program that links the crash module (ks_crasher) and checks
// what the handler leaves: "ERRORLOG.TXT" and "CRASH.DMP" beside the program
// and one report at the local fake report server.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "base/codec.h"
#include "base/tag_field.h"
#include "base/wide_text.h"
#include "crash/error_report_win.h"
#include "crash/fake_report_server_win.h"
#include "crash/module_list_win.h"
#include "crash/system_info_win.h"
#include "setup/version_text.h"
#include "fixtures/log_capture.h"
#include "fixtures/win_test_util_win.h"

#ifndef KS_TEST_REPORT_PORT
#define KS_TEST_REPORT_PORT 18431
#endif

namespace {

const DWORD kAccessViolation = 0xC0000005;
const char kCache[] =
    "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>h\t80\tN\tD\t\t</__SERVER_ACCESS_SETTING1__>\r\n"
    "<__GUI_PASSWORD__>pa ss+word</__GUI_PASSWORD__>\r\n</__CACHE__>\r\n";
const char kCacheSent[] =
    "<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>h\t80\tN\tD\t\t</__SERVER_ACCESS_SETTING1__>\r\n"
    "<__GUI_PASSWORD__></__GUI_PASSWORD__>\r\n</__CACHE__>\r\n";

// ---- "ERRORLOG.TXT" read back ------------------------------------------------

struct ModuleBlock {
  std::vector<std::string> lines;  // the six lines, without line ends
};

::testing::AssertionResult ParseModuleList(const std::string& bytes, std::vector<ModuleBlock>* blocks) {
  if (bytes.size() % 2 != 0) return ::testing::AssertionFailure() << "odd size " << bytes.size();
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return ::testing::AssertionFailure() << "byte-order mark present";
  std::wstring wide(bytes.size() / 2, L'\0');
  memcpy(&wide[0], bytes.data(), bytes.size());
  std::string text = Narrow(wide.c_str());
  const std::string end = "\r\n===== [end of ERRORLOG.TXT] =====\r\n";
  if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0)
    return ::testing::AssertionFailure() << "no end line";
  text.resize(text.size() - end.size());
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t stop = text.find("\r\n", start);
    if (stop == std::string::npos) return ::testing::AssertionFailure() << "unended line";
    lines.push_back(text.substr(start, stop - start));
    start = stop + 2;
  }
  if (lines.empty() || lines.size() % 6 != 0) return ::testing::AssertionFailure() << lines.size() << " lines";
  const std::regex image("Image Base: 0x[0-9a-f]{8,16}  Image Size: 0x[0-9a-f]{8}");
  const std::regex checksum("Checksum:   0x[0-9a-f]{8}  Time Stamp: 0x[0-9a-f]{8}");
  const std::regex file("File Size:  [0-9]+ *  File Time:  (\\d+/\\d+/\\d{4} \\d\\d:\\d\\d:\\d[02468])?");
  for (size_t i = 0; i < lines.size(); i += 6) {
    ModuleBlock block;
    block.lines.assign(lines.begin() + i, lines.begin() + i + 6);
    std::string number = "Module " + std::to_string(i / 6 + 1);
    if (block.lines[0] != number) return ::testing::AssertionFailure() << block.lines[0] << " for " << number;
    if (!std::regex_match(block.lines[2], image) || !std::regex_match(block.lines[3], checksum) ||
        !std::regex_match(block.lines[4], file) || block.lines[5] != "Version Information:")
      return ::testing::AssertionFailure() << "bad block " << number << ": " << block.lines[2] << " | "
                                           << block.lines[3] << " | " << block.lines[4];
    blocks->push_back(block);
  }
  return ::testing::AssertionSuccess();
}

// ---- the report read back ------------------------------------------------------

struct ParsedReport {
  std::vector<std::string> values;  // one per header label, in order
  std::string error_text, log_summary, cache_summary, dump_summary;
  std::string log_size, cache_size, dump_size;
  std::string log, cache, dump;  // inflated attachments
};

const char* const kLabels[] = {"Kestrelon sCurrentFile = ", "\nsCurrentDirectory = ", "\n\n\nVersion: ",
                               "\nComputer Name: ", "\nComputer IP: ", "\nOS: ", "\nIE: ", "\nIE Minor: ",
                               "\nIE Build: ", "\nGetLastError() returns: ", "\nError: "};
enum { kFile, kDirectory, kVersion, kComputerName, kComputerIP, kOS, kIE, kIEMinor, kIEBuild, kLastError };

::testing::AssertionResult Inflate(const std::string& base64, const std::string& size_text, std::string* out) {
  size_t size = static_cast<size_t>(strtoull(size_text.c_str(), nullptr, 10));
  out->clear();
  if (base64.empty()) return ::testing::AssertionSuccess();
  long long count = Utility::Base64Decode(base64.c_str(), nullptr, 0);
  std::vector<unsigned char> compressed(static_cast<size_t>(count) + 1);
  Utility::Base64Decode(base64.c_str(), compressed.data(), compressed.size());
  std::vector<unsigned char> plain(size + 1);
  uLongf length = static_cast<uLongf>(plain.size());
  if (uncompress(plain.data(), &length, compressed.data(), static_cast<uLong>(count)) != Z_OK)
    return ::testing::AssertionFailure() << "attachment does not inflate";
  out->assign(reinterpret_cast<char*>(plain.data()), length);
  if (out->size() != size) return ::testing::AssertionFailure() << "inflated " << out->size() << " not " << size;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ParseReport(const std::string& text, ParsedReport* report) {
  size_t at = 0;
  for (size_t i = 0; i < sizeof kLabels / sizeof kLabels[0]; ++i) {
    size_t label = text.find(kLabels[i], at);
    if (label != at && i == 0) return ::testing::AssertionFailure() << "report does not begin with the file";
    if (label == std::string::npos) return ::testing::AssertionFailure() << "missing label " << kLabels[i];
    if (i > 0) report->values.push_back(text.substr(at, label - at));
    at = label + strlen(kLabels[i]);
  }
  size_t sizes = text.find("\n<___LOGFILESIZE___>", at);
  if (sizes == std::string::npos) return ::testing::AssertionFailure() << "no attachments";
  std::string middle = text.substr(at, sizes - at);  // error text, then three summary lines
  size_t third = middle.rfind('\n');
  size_t second = middle.rfind('\n', third - 1);
  size_t first = middle.rfind('\n', second - 1);
  if (first == std::string::npos || second == std::string::npos || third == std::string::npos)
    return ::testing::AssertionFailure() << "summary lines missing";
  report->error_text = middle.substr(0, first);
  report->log_summary = middle.substr(first + 1, second - first - 1);
  report->cache_summary = middle.substr(second + 1, third - second - 1);
  report->dump_summary = middle.substr(third + 1);

  std::string rest = text.substr(sizes);
  const std::string tail = "</___DUMPFILE___>&&xyz\n";
  if (rest.size() < tail.size() || rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0)
    return ::testing::AssertionFailure() << "bad end mark";
  // The six fields follow one another with nothing else between them.
  const char* const kLayout[] = {"\n<___LOGFILESIZE___>", "</___LOGFILESIZE___>\n<___LOGFILE___>",
                                 "</___LOGFILE___>\n<___CACHEFILESIZE___>", "</___CACHEFILESIZE___>\n<___CACHEFILE___>",
                                 "</___CACHEFILE___>\n<___DUMPFILESIZE___>", "</___DUMPFILESIZE___>\n<___DUMPFILE___>",
                                 "</___DUMPFILE___>&&xyz\n"};
  size_t pos = 0;
  for (size_t i = 0; i < sizeof kLayout / sizeof kLayout[0]; ++i) {
    size_t found = rest.find(kLayout[i], pos);
    if (found == std::string::npos || (i == 0 && found != 0))
      return ::testing::AssertionFailure() << "attachment layout at " << kLayout[i];
    const char* allowed = i % 2 == 1 ? "0123456789" : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\n";
    if (i > 0 && rest.substr(pos, found - pos).find_first_not_of(allowed) != std::string::npos)
      return ::testing::AssertionFailure() << "unexpected bytes before " << kLayout[i];
    pos = found + strlen(kLayout[i]);
  }
  std::string log64, cache64, dump64;
  Utility::GetTagValue(rest.c_str(), "<___LOGFILESIZE___>", "</___LOGFILESIZE___>", report->log_size);
  Utility::GetTagValue(rest.c_str(), "<___CACHEFILESIZE___>", "</___CACHEFILESIZE___>", report->cache_size);
  Utility::GetTagValue(rest.c_str(), "<___DUMPFILESIZE___>", "</___DUMPFILESIZE___>", report->dump_size);
  Utility::GetTagValue(rest.c_str(), "<___LOGFILE___>", "</___LOGFILE___>", log64);
  Utility::GetTagValue(rest.c_str(), "<___CACHEFILE___>", "</___CACHEFILE___>", cache64);
  Utility::GetTagValue(rest.c_str(), "<___DUMPFILE___>", "</___DUMPFILE___>", dump64);
  for (const std::string* b64 : {&log64, &cache64, &dump64}) {
    for (size_t start = 0, stop; (stop = b64->find('\n', start)) != std::string::npos; start = stop + 1)
      if (stop - start != 76) return ::testing::AssertionFailure() << "Base64 line of " << stop - start;
  }
  ::testing::AssertionResult ok = Inflate(log64, report->log_size, &report->log);
  if (ok) ok = Inflate(cache64, report->cache_size, &report->cache);
  if (ok) ok = Inflate(dump64, report->dump_size, &report->dump);
  if (ok && !log64.empty() &&
      report->log_summary != "Log: original size = " + report->log_size + ", compressed size = " +
                                 std::to_string(Utility::Base64Decode(log64.c_str(), nullptr, 0)) +
                                 ", base64-encoded size = " + std::to_string(log64.size()))
    return ::testing::AssertionFailure() << "log summary: " << report->log_summary;
  return ok;
}

// The one request the server got, as a report text.
::testing::AssertionResult ReportOf(const std::vector<ReceivedRequest>& requests, std::string* text) {
  if (requests.size() != 1) return ::testing::AssertionFailure() << requests.size() << " requests";
  const ReceivedRequest& request = requests[0];
  if (request.request_line != "POST /aspx/web_conference/common/DUZirerEzived.aspx HTTP/1.1")
    return ::testing::AssertionFailure() << request.request_line;
  if ((request.headers + "\r\n").find("\r\nContent-Type: application/x-www-form-urlencoded\r\n") == std::string::npos)
    return ::testing::AssertionFailure() << request.headers;
  if (request.body.compare(0, 6, "error=") != 0) return ::testing::AssertionFailure() << "body";
  if (request.body.find_first_of("\n\r&/=", 6) != std::string::npos)
    return ::testing::AssertionFailure() << "unencoded byte in the body";
  if (request.body.size() < 12 || request.body.substr(request.body.size() - 12) != "%26%26xyz%0A")
    return ::testing::AssertionFailure() << "body end";
  *text = Utility::URLDecode(request.body.c_str() + 6);
  return ::testing::AssertionSuccess();
}

// ---- fixture -------------------------------------------------------------------

// Under Wine the default handling of a crash starts the debugger, which waits
// at a dialog when a display is there. Turned off while the tests run (the
// setting means nothing to Windows).
class CrashDialogOff {
 public:
  CrashDialogOff() : had_(false), previous_(0) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key_.put(), nullptr) != ERROR_SUCCESS)
      return;
    DWORD size = sizeof previous_;
    had_ = RegQueryValueExW(key_.get(), L"ShowCrashDialog", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous_),
                            &size) == ERROR_SUCCESS;
    DWORD off = 0;
    RegSetValueExW(key_.get(), L"ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
  }
  ~CrashDialogOff() {
    if (!key_) return;
    if (had_)
      RegSetValueExW(key_.get(), L"ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_),
                     sizeof previous_);
    else
      RegDeleteValueW(key_.get(), L"ShowCrashDialog");
  }

 private:
  ks::UniqueKey key_;
  bool had_;
  DWORD previous_;
};

class CrashCaptureTest : public ::testing::Test {
 protected:
  CrashCaptureTest() : dir_("kscrash"), server_(KS_TEST_REPORT_PORT) {}

  void SetUp() override {
    ASSERT_TRUE(server_.listening()) << "port " << KS_TEST_REPORT_PORT << " is taken";
    ASSERT_TRUE(kstest::CopyFileTo(kstest::BuildDir() + "\\tests\\ks_crasher.exe", Program()));
  }

  std::string Program() const { return dir_.File("ks_crasher.exe"); }

  kstest::ProcessResult Crash(const char* mode, const std::vector<std::string>& extra_env = {}) {
    std::vector<std::string> env = {"TMP=" + dir_.path(), "TEMP=" + dir_.path()};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    return kstest::RunProcess("\"" + Program() + "\" " + mode, dir_.path(), 120000, env);
  }

  // Everything one handled crash leaves behind, checked against the files.
  void ExpectFullRecord(const char* mode, const kstest::ProcessResult& process, ParsedReport* report) {
    ASSERT_TRUE(process.started);
    ASSERT_FALSE(process.timed_out) << process.output;
    // Under Wine no debugger is seen, and the handler's "execute handler"
    // ends the process with the exception code.
    EXPECT_NE(process.output.find("debugger=N"), std::string::npos) << process.output;
    EXPECT_EQ(process.exit_code, kAccessViolation) << process.output;

    std::vector<ModuleBlock> blocks;
    ASSERT_TRUE(ParseModuleList(kstest::ReadFileOrEmpty(dir_.File("ERRORLOG.TXT")), &blocks));
    std::string program_size = std::to_string(kstest::ReadFileOrEmpty(Program()).size());
    bool listed = false;
    for (const ModuleBlock& block : blocks)
      if (_stricmp(block.lines[1].c_str(), Program().c_str()) == 0)
        listed = block.lines[4].compare(0, 12 + program_size.size(), "File Size:  " + program_size) == 0;
    EXPECT_TRUE(listed) << "the program itself is not listed with its size";

    std::string dump = kstest::ReadFileOrEmpty(dir_.File("CRASH.DMP"));
    ASSERT_EQ(dump.compare(0, 4, "MDMP"), 0);

    std::string text;
    ASSERT_TRUE(ReportOf(server_.Requests(), &text));
    ASSERT_TRUE(ParseReport(text, report)) << text.substr(0, 2000);
    EXPECT_EQ(report->values[kFile], "ks_crasher.exe");
    EXPECT_EQ(report->values[kDirectory], dir_.path());
    EXPECT_EQ(report->values[kVersion], "");
    EXPECT_EQ(report->values[kOS].compare(0, 18, "Microsoft Windows "), 0) << report->values[kOS];
    EXPECT_TRUE(std::regex_match(report->values[kLastError], std::regex("[0-9]+")));

    // The log as it was when the report read it, with its zero byte.
    std::string log_now = kstest::ReadFileOrEmpty(dir_.File("KSSetup.txt"));
    ASSERT_FALSE(report->log.empty());
    EXPECT_EQ(report->log.back(), '\0');
    std::string log_sent = report->log.substr(0, report->log.size() - 1);
    EXPECT_EQ(log_now.compare(0, log_sent.size(), log_sent), 0);
    EXPECT_NE(log_sent.find(std::string("crasher ready, mode ") + mode), std::string::npos);

    EXPECT_EQ(report->cache, std::string(kCacheSent, sizeof kCacheSent));
    EXPECT_EQ(report->cache_size, std::to_string(sizeof kCacheSent));
    EXPECT_TRUE(report->dump == dump) << "dump attachment of " << report->dump.size() << " bytes, file of "
                                      << dump.size();
  }

  CrashDialogOff no_dialog_;
  kstest::TempDir dir_;
  FakeReportServer server_;
};

TEST_F(CrashCaptureTest, MainThreadCrashLeavesModuleListDumpAndOneReport) {
  ASSERT_TRUE(kstest::WriteFile(dir_.File("Cache.xml"), kCache));
  ParsedReport report;
  ExpectFullRecord("main", Crash("main"), &report);
  // The report as the server got it, with the log it carries, for the
  // explain check.
  std::vector<ReceivedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(kstest::KeepForExplain("crash-report", requests[0].body));
  EXPECT_TRUE(kstest::KeepForExplain("crash-report-log", report.log.substr(0, report.log.size() - 1)));
}

TEST_F(CrashCaptureTest, WorkerThreadCrashLeavesTheSameRecord) {
  ASSERT_TRUE(kstest::WriteFile(dir_.File("Cache.xml"), kCache));
  ParsedReport report;
  ExpectFullRecord("thread", Crash("thread"), &report);
  EXPECT_NE(report.log.find("crashing on the worker thread"), std::string::npos);
}

TEST_F(CrashCaptureTest, WithoutLogOrCacheTheReportGoesWithEmptyParts) {
  ASSERT_TRUE(kstest::WriteFile(dir_.File("version.txt"), "7.1.2 V5.0 SP1 of Bootwick"));
  kstest::ProcessResult process = Crash("nolog");
  EXPECT_EQ(process.exit_code, kAccessViolation) << process.output;
  std::string text;
  ASSERT_TRUE(ReportOf(server_.Requests(), &text));
  ParsedReport report;
  ASSERT_TRUE(ParseReport(text, &report)) << text.substr(0, 2000);
  EXPECT_EQ(report.values[kVersion], "7.1.2 V5.0 SP1 of Bootwick");
  EXPECT_EQ(report.log_summary, "");
  EXPECT_EQ(report.cache_summary, "");
  EXPECT_EQ(report.dump_summary.compare(0, 23, "dump: original size = " + report.dump_size.substr(0, 1)), 0)
      << report.dump_summary;
  EXPECT_EQ(report.log_size, "0");
  EXPECT_EQ(report.cache_size, "0");
  EXPECT_NE(text.find("<___LOGFILE___></___LOGFILE___>"), std::string::npos);
  EXPECT_NE(text.find("<___CACHEFILE___></___CACHEFILE___>"), std::string::npos);
  EXPECT_TRUE(report.dump == kstest::ReadFileOrEmpty(dir_.File("CRASH.DMP")));
}

TEST_F(CrashCaptureTest, SecondCrashWhileTheFirstIsHandledGetsDefaultHandling) {
  // The server keeps the first crash inside its report; meanwhile a worker
  // crashes. Only the first crash may be handled.
  server_.SetMarkerPath(dir_.File("POSTED"));
  server_.HoldAnswers(true);
  kstest::ProcessResult process = Crash("second");
  ASSERT_FALSE(process.timed_out);
  EXPECT_EQ(server_.Requests().size(), 1u);
  // The process was ended by the default handling of the second crash, not
  // by the first handler finishing.
  EXPECT_NE(process.exit_code, kAccessViolation) << process.output;
  EXPECT_TRUE(kstest::FileExists(dir_.File("ERRORLOG.TXT")));
}

TEST_F(CrashCaptureTest, SilentReportServerDoesNotHoldTheCrashedProcess) {
  // The server takes the report and never answers: the post gives up after
  // the receive limit (3 s in this program instead of 90 s) and the crash
  // ends the process as it would have.
  server_.HoldAnswers(true);
  kstest::ProcessResult process = Crash("main");
  ASSERT_FALSE(process.timed_out) << process.output;
  EXPECT_EQ(process.exit_code, kAccessViolation) << process.output;
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(CrashCaptureTest, UnwritableFolderGivesNoFilesAndNoReport) {
  // A folder in the way of "ERRORLOG.TXT" makes it impossible to create, as
  // a read-only folder does (root ignores permissions under Wine).
  ASSERT_TRUE(CreateDirectoryW(Widen(dir_.File("ERRORLOG.TXT").c_str()).c_str(), nullptr));
  ASSERT_TRUE(kstest::WriteFile(dir_.File("Cache.xml"), kCache));
  kstest::ProcessResult process = Crash("main");
  ASSERT_FALSE(process.timed_out);
  EXPECT_EQ(process.output.find("survived"), std::string::npos);
  EXPECT_TRUE(kstest::FileExists(dir_.File("KSSetup.txt")));
  EXPECT_FALSE(kstest::FileExists(dir_.File("CRASH.DMP")));
  EXPECT_TRUE(server_.Requests().empty());
}

// A "dbghelp.dll" beside the program (where a web page can drop one) runs
// only on a system without its own; there it is called for this crash.
TEST_F(CrashCaptureTest, DebugHelpBesideTheProgramIsTakenOnlyWithoutTheSystemsAndCalledForThisCrash) {
  std::string planted = dir_.File("dbghelp.dll");
  ASSERT_TRUE(kstest::CopyFileTo(kstest::BuildDir() + "\\tests\\standin_dbghelp\\dbghelp.dll", planted));
  // Wine would otherwise put its own library in place of one found by path,
  // and it keeps a system folder copy of every library: its per-program
  // settings take the one by that name away ("") and leave the planted one,
  // named by its path, to load. They mean nothing to Windows.
  const wchar_t kOverrides[] = L"Software\\Wine\\AppDefaults\\ks_crasher.exe\\DllOverrides";
  ks::UniqueKey overrides;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, overrides.put(),
                            nullptr),
            ERROR_SUCCESS);
  auto set = [&](const std::wstring& name, const wchar_t* order) {
    RegSetValueExW(overrides.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                   static_cast<DWORD>((wcslen(order) + 1) * sizeof(wchar_t)));
  };
  const std::wstring planted_name = Widen(planted.substr(0, planted.size() - 4).c_str());
  set(planted_name, L"native");
  set(L"dbghelp", L"native,builtin");
  kstest::ProcessResult with_system = Crash("main");
  std::string system_dump = kstest::ReadFileOrEmpty(dir_.File("CRASH.DMP"));
  set(L"dbghelp", L"");
  kstest::ProcessResult process = Crash("main");
  overrides.reset();
  RegDeleteKeyW(HKEY_CURRENT_USER, kOverrides);

  EXPECT_EQ(with_system.exit_code, kAccessViolation) << with_system.output;
  EXPECT_EQ(system_dump.compare(0, 4, "MDMP"), 0) << "not the system's library: " << system_dump.substr(0, 80);
  EXPECT_EQ(process.exit_code, kAccessViolation) << process.output;
  std::string dump = kstest::ReadFileOrEmpty(dir_.File("CRASH.DMP"));
  ASSERT_NE(dump.compare(0, 4, "MDMP"), 0) << "the system's library was used";
  EXPECT_EQ(dump, "STANDIN type=81 own-process=1 this-thread=1 client=0 code=c0000005 extra=0");
  std::vector<ReceivedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  requests.erase(requests.begin());
  std::string text;
  ASSERT_TRUE(ReportOf(requests, &text));
  ParsedReport report;
  ASSERT_TRUE(ParseReport(text, &report));
  EXPECT_EQ(report.dump, dump);
  EXPECT_EQ(report.dump_size, std::to_string(dump.size()));
}

// ---- in-process pieces -----------------------------------------------------------

TEST(ModuleFileTime, PassesThroughTheTwoSecondFileSystemFormat) {
  SYSTEMTIME local = {};
  local.wYear = 2021;
  local.wMonth = 6;
  local.wDay = 15;
  local.wHour = 14;
  local.wMinute = 3;
  local.wSecond = 7;
  FILETIME local_time, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&local, &local_time));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local_time, &utc));
  char text[64];
  ASSERT_TRUE(FormatModuleFileTime(utc, text, sizeof text));
  EXPECT_STREQ(text, "6/15/2021 14:03:06");
}

// Removes a registry value for the test and puts it back afterwards.
class StashedValue {
 public:
  StashedValue(const wchar_t* key, const wchar_t* name) : name_(name), had_(false) {
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key_.put());
    if (!key_) return;
    DWORD size = sizeof data_;
    had_ = RegQueryValueExW(key_.get(), name, nullptr, &type_, data_, &size) == ERROR_SUCCESS;
    size_ = size;
    if (had_) RegDeleteValueW(key_.get(), name);
  }
  ~StashedValue() {
    if (had_) RegSetValueExW(key_.get(), name_, 0, type_, data_, size_);
  }
  bool opened() const { return key_.valid(); }

 private:
  ks::UniqueKey key_;
  const wchar_t* name_;
  bool had_;
  DWORD type_ = 0;
  DWORD size_ = 0;
  BYTE data_[512];
};

TEST(GetIEVersion, MissingValuesAreNamedDifferently) {
  StashedValue build(L"Software\\Microsoft\\Internet Explorer", L"Build");
  StashedValue minor(L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", L"MinorVersion");
  ASSERT_TRUE(build.opened());
  ASSERT_TRUE(minor.opened());
  EXPECT_TRUE(GetIEVersion());
  EXPECT_STREQ(GetCrashSystemInfo().ie_build, "Not found");
  EXPECT_STREQ(GetCrashSystemInfo().ie_minor_version, "Not Found");
}

TEST(CollectErrorReportText, VersionComesFromVersionTxtWhenTheSettingsGaveNone) {
  WSADATA data;
  WSAStartup(MAKEWORD(1, 1), &data);
  kstest::TempDir dir("ksversion");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(Widen(dir.path().c_str()).c_str()));
  SetVersionText("");
  {
    LogCapture log;
    std::string text = CollectErrorReportText(2);
    EXPECT_NE(text.find("\n\nVersion: \nComputer Name: "), std::string::npos);
    EXPECT_NE(text.find("\nGetLastError() returns: 2\nError: "), std::string::npos);
    EXPECT_TRUE(log.Has("Failed to open sFileName version.txt")) << log.Dump();
  }
  ASSERT_TRUE(kstest::WriteFile(dir.File("version.txt"), "6.0 V5.0 SP1 of Bootwick"));
  std::string text = CollectErrorReportText(0);
  EXPECT_NE(text.find("\n\nVersion: 6.0 V5.0 SP1 of Bootwick\nComputer Name: "), std::string::npos);
  EXPECT_STREQ(GetVersionText(), "6.0 V5.0 SP1 of Bootwick");
  SetVersionText("");
  SetCurrentDirectoryW(previous);
  WSACleanup();
}

}  // namespace
