#pragma once
// A function's name as a person reads it: a build's symbol table keeps C++
// names mangled.
#include <string>

namespace kssupport {

// "(anonymous namespace)::AccessViolation()" for its mangled symbol; the
// symbol as it is where it cannot be read (a C name, or a compiler that
// offers no demangler).
std::string ReadableName(const std::string& symbol);

}  // namespace kssupport
