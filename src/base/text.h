#pragma once
// Bounded text helpers for the fixed-size UTF-8 buffers the starter works in.
// Nothing here ever writes past the capacity it is given: a text that does not
// fit is refused (the result is false and the buffer holds an empty text), so a
// caller can never mistake a cut-off path or parameter for the real one.
#include <cstdarg>
#include <cstddef>
#include <string>

#if defined(__GNUC__)
#define KS_PRINTF_FORMAT(fmt_index, args_index) __attribute__((format(printf, fmt_index, args_index)))
#else
#define KS_PRINTF_FORMAT(fmt_index, args_index)
#endif

namespace ks {

// Copies src (null counts as empty) when it fits with its zero byte.
bool CopyText(char* dst, size_t capacity, const char* src);

// Copies exactly `length` bytes and ends them with a zero byte.
bool CopyBytes(char* dst, size_t capacity, const char* src, size_t length);

// Appends src to the text already in dst; on overflow dst is left unchanged.
bool AppendText(char* dst, size_t capacity, const char* src);

// printf into dst; false (and an empty dst) when the result does not fit.
bool FormatText(char* dst, size_t capacity, const char* format, ...) KS_PRINTF_FORMAT(3, 4);
bool FormatTextV(char* dst, size_t capacity, const char* format, va_list args);

// printf into a std::string of any length.
std::string Format(const char* format, ...) KS_PRINTF_FORMAT(1, 2);
std::string FormatV(const char* format, va_list args);

// First occurrence of needle in the first hay_length bytes of hay (which need
// not be zero-ended); null when absent or when needle is empty.
const char* FindBytes(const char* hay, size_t hay_length, const char* needle, size_t needle_length);

// Length of a zero-ended text, but never reading more than `limit` bytes.
size_t BoundedLength(const char* text, size_t limit);

// "Y" or "N", the way yes/no values appear in log lines.
inline const char* YesNo(bool value) { return value ? "Y" : "N"; }

// ASCII-only lower/upper case (other bytes unchanged), as the system compares names.
void LowerAscii(char* text);
void UpperAscii(char* text);

// Turns every CR LF into LF, as reading a text-mode file would.
void CrLfToLf(std::string& text);

// Reads leading decimal digits the way atoi does (spaces and a sign allowed),
// saturating instead of overflowing. `out_of_range`, when given, tells
// whether the digits named a number beyond the int range.
int ParseInt(const char* text, bool* out_of_range = nullptr);

}  // namespace ks
