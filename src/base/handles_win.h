#pragma once
// Owning wrappers for the system handles the starter opens, so every path out
// of a function closes what it opened.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>
#include <winsvc.h>

#include <cstdio>
#include <utility>

#include "base/system_api_win.h"

namespace ks {

template <typename T, typename Traits>
class UniqueResource {
 public:
  UniqueResource() : value_(Traits::Invalid()) {}
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  // For out-parameters: closes the current value and hands out its slot.
  T* put() {
    reset();
    return &value_;
  }
  T release() {
    T value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  void reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_;
};

struct HandleTraits {  // kernel objects: null and INVALID_HANDLE_VALUE both mean none
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct KeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct InternetTraits {
  static HINTERNET Invalid() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { sys::InternetCloseHandle(h); }
};
struct SocketTraits {
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
  static void Close(SOCKET s) { closesocket(s); }
};
struct FileTraits {
  static FILE* Invalid() { return nullptr; }
  static bool IsValid(FILE* f) { return f != nullptr; }
  static void Close(FILE* f) { fclose(f); }
};
struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct ServiceTraits {
  static SC_HANDLE Invalid() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct GdiTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool IsValid(HGDIOBJ h) { return h != nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};

typedef UniqueResource<HANDLE, HandleTraits> UniqueHandle;
typedef UniqueResource<HANDLE, FindTraits> UniqueFind;
typedef UniqueResource<HKEY, KeyTraits> UniqueKey;
typedef UniqueResource<HINTERNET, InternetTraits> UniqueInternet;
typedef UniqueResource<SOCKET, SocketTraits> UniqueSocket;
typedef UniqueResource<FILE*, FileTraits> UniqueFile;
typedef UniqueResource<HMODULE, LibraryTraits> UniqueLibrary;
typedef UniqueResource<SC_HANDLE, ServiceTraits> UniqueService;
typedef UniqueResource<HGDIOBJ, GdiTraits> UniqueGdiObject;

}  // namespace ks
