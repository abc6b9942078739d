#pragma once
// Creates keys and writes values below one root key (the current user's).
// Every key an operation opens is closed by that operation.
#include <windows.h>

class RegistryHandler {
 public:
  RegistryHandler() : m_hRootKey(HKEY_CURRENT_USER) {}

  // Creates the key (or opens it when it exists) and closes it again.
  bool AddRegistryKey(const char* key);

  // Writes one value into an existing key; an empty name is the key's default
  // value. REG_DWORD reads the text as a decimal number (atoi-style); any other
  // type stores the text as UTF-16 with its terminating zero.
  bool AddRegistryValue(const char* key, const char* name, const char* value, DWORD type);

 private:
  HKEY m_hRootKey;
};
