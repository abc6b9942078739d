#include "support/symbol_name.h"

#include <cstdlib>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

namespace kssupport {

std::string ReadableName(const std::string& symbol) {
#if defined(__GNUC__)
  if (symbol.compare(0, 2, "_Z") != 0) return symbol;
  int status = 0;
  char* readable = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
  if (status != 0 || readable == nullptr) return symbol;
  std::string name = readable;
  free(readable);
  return name;
#else
  return symbol;
#endif
}

}  // namespace kssupport
