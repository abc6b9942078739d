#include "package/zlibpp_win.h"

#include <io.h>
#include <shlobj.h>

#include <cstdio>

#include "base/error_text.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "package/file_stream_win.h"
#include "package/zlibpp_log.h"

namespace {

// Larger stdio buffers than the C runtime's default keep the 4096-byte
// inflate steps from turning into one system call each.
const size_t kStdioBufferSize = 65536;

}  // namespace

CZLib::CZLib() : m_pOutputSink(nullptr), m_dwLastError(0) {}

CZLib::~CZLib() { delete m_pOutputSink; }

void CZLib::Begin(const char* archive, const char* destination) {
  ZLIBPP_LOG("enter %s to %s", archive, destination);
  m_sFailedEntry.clear();
}

bool CZLib::UnpackAndFinish(package::ByteSource& source, const wchar_t* archive_path, const char* destination) {
  bool complete = package::UnpackEntries(source, destination, *this);
  m_oInputFile.reset();
  if (!complete) return false;
  DeleteFileW(archive_path);
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
  // A scanner may still hold a file an earlier entry or run left there.
  m_oOutputFile.reset(ks::OpenFileRetrying("CZLib::UnZip", wide, L"wb"));
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

void CZLib::LogErrorCode() {
  m_dwLastError = GetLastError();
  int code = static_cast<int>(m_dwLastError);
  ZLIBPP_ERROR_LOG("Error code: %d, error: %s", code, GetErrorText(code));
}

void CZLib::EntryFailed(const char* path) {
  int code = static_cast<int>(m_dwLastError);
  m_sFailedEntry = ks::Format("%s, error code: %d, error: %s", path, code, GetErrorTextInLine(code).c_str());
  ZLIBPP_LOG("can't write %s; the unpack ends", m_sFailedEntry.c_str());
}
