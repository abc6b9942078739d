#include "package/zlibpp_win.h"

#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/error_text.h"
#include "base/wide_text.h"
#include "package/file_stream_win.h"
#include "package/zlibpp_log.h"

namespace {

void OpenWithShell(const wchar_t* path) { ShellExecuteW(nullptr, L"Open", path, nullptr, nullptr, SW_SHOWNORMAL); }

// Larger stdio buffers than the C runtime's default keep the 4096-byte
// inflate steps from turning into one system call each.
const size_t kStdioBufferSize = 65536;

}  // namespace

CZLib::ShowFailureListFunction CZLib::s_pShowFailureList = &OpenWithShell;

CZLib::CZLib() : m_pOutputSink(nullptr) { m_wsFailureListPath[0] = L'\0'; }

CZLib::~CZLib() { delete m_pOutputSink; }

void CZLib::Begin(const char* archive, const char* destination) {
  ZLIBPP_LOG("enter %s to %s", archive, destination);
  m_oFailureList.reset();

  // The list is named by the time of this call and created only when the
  // first file is skipped.
  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  int32_t seconds = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(time(nullptr))));
  if (_snwprintf(m_wsFailureListPath, MAX_PATH, L"%lsKS%d.txt", temp, static_cast<int>(seconds)) < 0)
    m_wsFailureListPath[0] = L'\0';
  m_wsFailureListPath[MAX_PATH - 1] = L'\0';
}

bool CZLib::UnpackAndFinish(package::ByteSource& source, const wchar_t* archive_path, const char* destination) {
  bool complete = package::UnpackEntries(source, destination, *this);
  m_oInputFile.reset();
  if (!complete) return false;

  DeleteFileW(archive_path);
  if (m_oFailureList) {
    m_oFailureList.reset();
    if (s_pShowFailureList != nullptr) s_pShowFailureList(m_wsFailureListPath);
  }
  return true;
}

bool CZLib::UnZip(const char* archive, const char* destination) {
  if (archive == nullptr) archive = "";
  if (destination == nullptr) destination = "";
  Begin(archive, destination);

  wchar_t archive_path[MAX_PATH];
  if (UTF8ToUTF16(archive, archive_path, MAX_PATH) && archive_path[0] != L'\0')
    m_oInputFile.reset(_wfopen(archive_path, L"rb"));
  if (!m_oInputFile) {
    LogErrorCode();
    ZLIBPP_LOG("can't open %s", archive);
    return false;
  }
  setvbuf(m_oInputFile.get(), nullptr, _IOFBF, kStdioBufferSize);

  package::FileSource source(m_oInputFile.get());
  return UnpackAndFinish(source, archive_path, destination);
}

bool CZLib::UnZipBytes(const char* archive, const unsigned char* bytes, size_t size, const char* destination) {
  if (archive == nullptr) archive = "";
  if (destination == nullptr) destination = "";
  Begin(archive, destination);
  wchar_t archive_path[MAX_PATH];
  if (!UTF8ToUTF16(archive, archive_path, MAX_PATH)) archive_path[0] = L'\0';
  package::MemorySource source(bytes, size);
  return UnpackAndFinish(source, archive_path, destination);
}

bool CZLib::PathFits(const char* path) {
  wchar_t wide[MAX_PATH];
  return UTF8ToUTF16(path, wide, MAX_PATH);
}

int CZLib::CreateDirectories(const char* directory) {
  wchar_t wide[MAX_PATH];
  if (!UTF8ToUTF16(directory, wide, MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
  return SHCreateDirectoryExW(nullptr, wide, nullptr);
}

package::ByteSink* CZLib::CreateOutput(const char* path) {
  CloseOutput();
  wchar_t wide[MAX_PATH];
  if (!UTF8ToUTF16(path, wide, MAX_PATH)) return nullptr;
  m_oOutputFile.reset(_wfopen(wide, L"wb"));
  if (!m_oOutputFile) return nullptr;
  setvbuf(m_oOutputFile.get(), nullptr, _IOFBF, kStdioBufferSize);
  m_pOutputSink = new package::FileSink(m_oOutputFile.get());
  return m_pOutputSink;
}

bool CZLib::CloseOutput() {
  delete m_pOutputSink;
  m_pOutputSink = nullptr;
  if (!m_oOutputFile) return true;
  // fclose flushes the last buffered block; its failure is a lost write.
  return fclose(m_oOutputFile.release()) == 0;
}

void CZLib::ListSkipped(const char* path) {
  if (!m_oFailureList && m_wsFailureListPath[0] != L'\0') {
    m_oFailureList.reset(_wfopen(m_wsFailureListPath, L"wt"));
    if (m_oFailureList) fputs("The following files failed to copy to the destination:\n\n", m_oFailureList.get());
  }
  if (m_oFailureList) fprintf(m_oFailureList.get(), "%s\n", path);
}

void CZLib::LogErrorCode() {
  DWORD code = GetLastError();
  ZLIBPP_ERROR_LOG("Error code: %d, error: %s", static_cast<int>(code), GetErrorText(static_cast<int>(code)));
}
