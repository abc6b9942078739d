#pragma once
// UTF-8 <-> UTF-16 at the boundary to the operating system's wide calls.
// Inside, the starter works with UTF-8 byte strings. (Windows only.)
#include <string>

// Converts with the UTF-8 code page into `capacity` wide characters (the zero
// included). The buffer is emptied first; a text that does not fit leaves it
// empty and gives false.
bool UTF8ToUTF16(const char* text, wchar_t* output, int capacity);

// Measures first: when the UTF-8 form with its zero byte does not fit
// `capacity` bytes the output is empty and the result false.
bool UTF16ToUTF8(const wchar_t* text, char* output, int capacity);

// Unbounded conversions for code that builds texts of any length.
std::wstring Widen(const char* text);
std::string Narrow(const wchar_t* text);

