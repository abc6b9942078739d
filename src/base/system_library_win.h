#pragma once
// Libraries that Windows does not always take from its system folder (every
// one but the known DLLs) are loaded at run time from the system folder, by
// full path: a file of the same name beside the starter, which a web page
// may have dropped into the Downloads folder, is never looked at.
#include <windows.h>

#include <atomic>

namespace ks {

// `name` (a bare file name such as L"wininet.dll") from the system folder;
// null with the system's error when it cannot be loaded from there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A system library loaded on first use and kept for the rest of the run. A
// library that cannot be loaded is logged once. kSideBySide: one that comes
// in versions side by side (the common controls), taken in the version the
// manifest names; never from another folder than the system folder.
class SystemLibrary {
 public:
  enum Versions { kOneVersion, kSideBySide };
  explicit constexpr SystemLibrary(const wchar_t* name, Versions versions = kOneVersion)
      : name_(name), versions_(versions), module_(nullptr), failure_logged_(false) {}
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  HMODULE Module() const;
  // The function's address, or null with the last error set as the failed
  // load or lookup left it. A missing function is logged once per flag; with
  // no flag it is not logged.
  void* Find(const char* function, std::atomic<bool>* failure_logged) const;

 private:
  const wchar_t* name_;
  Versions versions_;
  mutable std::atomic<HMODULE> module_;
  mutable std::atomic<bool> failure_logged_;
};

// One function of a system library, typed by its declaration in the system
// header: SystemFunction<decltype(::InternetOpenA)>. Called while its library
// or the function is missing, it returns `failure` with the last error set,
// so the caller takes the road it takes for any failed call.
template <typename Signature>
class SystemFunction;

template <typename R, typename... A>
class SystemFunction<R(A...)> {
 public:
  constexpr SystemFunction(const SystemLibrary& library, const char* name, R failure)
      : library_(library), name_(name), failure_(failure), address_(nullptr), failure_logged_(false) {}
  SystemFunction(const SystemFunction&) = delete;
  SystemFunction& operator=(const SystemFunction&) = delete;

  R operator()(A... args) const {
    Pointer function = Address(&failure_logged_);
    return function != nullptr ? function(args...) : failure_;
  }
  // For functions that only newer systems have: their absence is no failure.
  bool Available() const { return Address(nullptr) != nullptr; }

 private:
  typedef R (*Pointer)(A...);
  Pointer Address(std::atomic<bool>* failure_logged) const {
    void* address = address_.load(std::memory_order_acquire);
    if (address == nullptr) {
      address = library_.Find(name_, failure_logged);
      if (address != nullptr) address_.store(address, std::memory_order_release);
    }
    return reinterpret_cast<Pointer>(address);
  }

  const SystemLibrary& library_;
  const char* name_;
  R failure_;
  mutable std::atomic<void*> address_;
  mutable std::atomic<bool> failure_logged_;
};

}  // namespace ks
