#pragma once
// Client versions in order. A version is decimal numbers joined by dots,
// optionally followed by '-' and a label of letters, digits, '.', '_', '+'
// and '-' ("5.2.1", "5.2.1-beta.2"). Numbers are compared as numbers, level
// by level, a missing level counting as 0 ("5.2" is "5.2.0"); the label
// tells builds apart but does not order them.
// Whether a package is the version a run asks for is another question: that
// is the exact text, as an installed client's version is compared.
#include <string>

namespace package {

// A version fits the starter's 512-byte version text.
const size_t kMaxVersionSize = 511;

// Whether `text` is a version as above.
bool IsClientVersion(const std::string& text);

enum class VersionOrder { kOlder, kSame, kNewer, kUnordered };

// How `a` stands to `b`; kUnordered when either is not a version.
VersionOrder CompareClientVersions(const std::string& a, const std::string& b);

}  // namespace package
