#include "net/my_configure_win.h"

#include <new>

// Placeholder until the access cache is built: no file, nothing remembered.
namespace {
MyConfigure* g_oMyConfigure = nullptr;
}

MyConfigure::MyConfigure(int off_switch) : m_iOffSwitch(off_switch) {
  m_sCacheFilePath[0] = '\0';
  m_wsCacheFilePath[0] = L'\0';
}

bool MyConfigure::Initialize(int off_switch) {
  if (g_oMyConfigure != nullptr) return false;
  g_oMyConfigure = new (std::nothrow) MyConfigure(off_switch);
  return true;
}

MyConfigure* MyConfigure::GetInstance() { return g_oMyConfigure; }
bool MyConfigure::UseCacheFile(const char* /*path*/) { return false; }
bool MyConfigure::ReadConfigure(const char*, const char*, char* output, size_t capacity) {
  if (output != nullptr && capacity > 0) output[0] = '\0';
  return false;
}
bool MyConfigure::WriteConfigure(const char*, const char*, const char*) { return false; }
