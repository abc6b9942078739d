// A stand-in "dbghelp.dll": put beside a crashing program, it is the library
// the crash handler must load first. Instead of a dump it writes the
// arguments it was called with, so the test can check them.
#include <windows.h>
#include <dbghelp.h>

#include <cstdio>

extern "C" __declspec(dllexport) BOOL WINAPI MiniDumpWriteDump(HANDLE process, DWORD process_id, HANDLE file,
                                                               MINIDUMP_TYPE dump_type,
                                                               PMINIDUMP_EXCEPTION_INFORMATION exception,
                                                               PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                                                               PMINIDUMP_CALLBACK_INFORMATION callback) {
  char text[256];
  DWORD code = 0;
  if (exception != nullptr && exception->ExceptionPointers != nullptr &&
      exception->ExceptionPointers->ExceptionRecord != nullptr)
    code = exception->ExceptionPointers->ExceptionRecord->ExceptionCode;
  int length = snprintf(text, sizeof text, "STANDIN type=%u own-process=%d this-thread=%d client=%d code=%08lx extra=%d",
                        static_cast<unsigned>(dump_type),
                        process == GetCurrentProcess() && process_id == GetCurrentProcessId(),
                        exception != nullptr && exception->ThreadId == GetCurrentThreadId(),
                        exception != nullptr ? static_cast<int>(exception->ClientPointers) : -1,
                        static_cast<unsigned long>(code), user_streams != nullptr || callback != nullptr);
  DWORD written = 0;
  return length > 0 && WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
}
