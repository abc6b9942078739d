// Error texts, UTF-8/UTF-16 conversion, the thread base and the loading of
// system libraries.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/error_text.h"
#include "base/handles_win.h"
#include "base/my_thread_win.h"
#include "base/system_library_win.h"
#include "base/wide_text.h"
#include "fixtures/log_capture.h"

namespace {

std::string SystemText(int code) {
  wchar_t message[512] = L"";
  if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                      static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message, 512, nullptr))
    return std::string();
  return Narrow(message);
}

TEST(GetErrorText, ListedCodesGiveTheFixedText) {
  EXPECT_STREQ(GetErrorText(10038), "MySocket operation on nonsocket.");
  EXPECT_STREQ(GetErrorText(10061), "Connection refused.");
  EXPECT_STREQ(GetErrorText(11004), "Valid name, no data record of requested type.");
}

TEST(GetErrorText, OtherCodesGiveTheSystemText) {
  EXPECT_EQ(GetErrorText(10059), SystemText(10059));
  EXPECT_EQ(GetErrorText(2), SystemText(2));
  EXPECT_FALSE(std::string(GetErrorText(2)).empty());
}

TEST(WideText, UTF16ToUTF8RefusesWhatDoesNotFitWithItsZeroByte) {
  char out[4] = "xyz";
  EXPECT_FALSE(UTF16ToUTF8(L"abcd", out, 4));
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(UTF16ToUTF8(L"abc", out, 4));
  EXPECT_STREQ(out, "abc");
  EXPECT_FALSE(UTF16ToUTF8(L"\u00e9\u00e9", out, 4));  // four UTF-8 bytes
}

TEST(WideText, UTF8ToUTF16RoundTripsAndRefusesOverflow) {
  wchar_t wide[8];
  EXPECT_TRUE(UTF8ToUTF16("K\xC3\xA9", wide, 8));
  EXPECT_EQ(std::wstring(wide), L"K\u00e9");
  EXPECT_FALSE(UTF8ToUTF16("12345678", wide, 8));
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_EQ(Narrow(Widen("\xE2\x82\xAC x").c_str()), "\xE2\x82\xAC x");
}

// A library or function that is missing fails the call the way a failing
// call fails, with the reason logged once, instead of jumping nowhere.
TEST(SystemFunction, MissingLibraryOrFunctionFailsTheCall) {
  const ks::SystemLibrary missing(L"ks-no-such-library.dll");
  const ks::SystemLibrary wininet(L"wininet.dll");
  const ks::SystemFunction<decltype(::InternetOpenA)> in_missing(missing, "InternetOpenA", nullptr);
  const ks::SystemFunction<decltype(::InternetOpenA)> not_there(wininet, "NoSuchFunction", nullptr);
  LogCapture log;
  for (int call = 0; call < 2; ++call) {
    EXPECT_EQ(in_missing("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(not_there("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  EXPECT_EQ(log.Count("Failed to load ks-no-such-library.dll from the system folder, error 126"), 1) << log.Dump();
  EXPECT_EQ(log.Count("Failed to find NoSuchFunction in wininet.dll, error 127"), 1) << log.Dump();
}

TEST(LoadSystemLibrary, TakesTheSystemFoldersCopyAndOnlyBareNames) {
  ks::UniqueLibrary library(ks::LoadSystemLibrary(L"wininet.dll"));
  ASSERT_TRUE(library);
  wchar_t path[MAX_PATH];
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(library.get(), path, MAX_PATH), 0u);
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(_wcsicmp(path, (std::wstring(system) + L"\\wininet.dll").c_str()), 0) << Narrow(path);
  EXPECT_EQ(ks::LoadSystemLibrary(L"..\\system32\\wininet.dll"), nullptr);
  EXPECT_EQ(ks::LoadSystemLibrary(L"C:wininet.dll"), nullptr);
}

class RecordingThread : public MyThread {
 public:
  bool Run() override {
    ran_on = GetCurrentThreadId();
    priority = GetThreadPriority(GetCurrentThread());
    // The finished event must not be set while Run is still working.
    finished_during_run = WaitForSingleObject(GetFinishedEvent(), 50) == WAIT_OBJECT_0;
    return true;
  }
  std::atomic<DWORD> ran_on{0};
  std::atomic<int> priority{0};
  std::atomic<bool> finished_during_run{true};
};

TEST(MyThread, RunsOnItsOwnThreadAndSignalsFinishedAfterRun) {
  RecordingThread thread;
  thread.SetRaisePriority(false);
  ASSERT_NE(thread.Start(), nullptr);
  ASSERT_EQ(WaitForSingleObject(thread.GetStartedEvent(), 5000), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(thread.GetFinishedEvent(), 5000), WAIT_OBJECT_0);
  EXPECT_NE(thread.ran_on.load(), GetCurrentThreadId());
  EXPECT_EQ(thread.ran_on.load(), thread.GetThreadId());
  EXPECT_EQ(thread.priority.load(), THREAD_PRIORITY_NORMAL);
  EXPECT_FALSE(thread.finished_during_run.load());
  WaitForSingleObject(thread.GetThreadHandle(), 5000);
}

TEST(MyThread, RaisePriorityFlagMakesTheThreadTimeCritical) {
  RecordingThread thread;  // the flag is set by default
  ASSERT_NE(thread.Start(), nullptr);
  ASSERT_EQ(WaitForSingleObject(thread.GetFinishedEvent(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(thread.priority.load(), THREAD_PRIORITY_TIME_CRITICAL);
  WaitForSingleObject(thread.GetThreadHandle(), 5000);
}

}  // namespace
