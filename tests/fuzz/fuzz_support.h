#pragma once
// Shared by the fuzz targets: splitting one input into several texts, and a
// check that stops the run (libFuzzer keeps the input) when a property fails.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ksfuzz {

// The input cut at zero bytes into at most `max_parts` pieces; the last piece
// keeps the rest, zero bytes included. Always at least one (maybe empty) piece.
std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t max_parts);

// Piece `index`, or `fallback` when the input has fewer pieces.
const std::string& PartOr(const std::vector<std::string>& parts, size_t index, const std::string& fallback);

// Whether the text is well-formed UTF-8 (no overlong form, surrogate or code
// point past U+10FFFF) without a control character: what a JSON parser takes.
bool IsJsonText(const std::string& text);

[[noreturn]] void Fail(const char* condition, const char* file, int line);

}  // namespace ksfuzz

#define KS_FUZZ_CHECK(condition)                                    \
  do {                                                              \
    if (!(condition)) ::ksfuzz::Fail(#condition, __FILE__, __LINE__); \
  } while (0)
