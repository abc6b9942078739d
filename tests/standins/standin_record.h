#pragma once
// What every stand-in program leaves behind: how it was started. The record
// goes to "standin_<name>.txt" in the directory named by KS_STANDIN_DIR, or
// by an explicit directory, or else in the working directory, as tag lines:
//   <__Program__> <__CommandLine__> <__WorkingDirectory__> <__ShowWindow__>
//   <__ProcessId__>
// ShowWindow is the window state the starter asked for (-1 when it gave none).
// The file is replaced as a whole, so a reader never sees half a record.
#include <string>

namespace standin {

void RecordStart(const wchar_t* program_name, const std::wstring& directory = std::wstring());

// The value of an option given as "--name=value" on the command line or, when
// absent there, of the environment variable; empty when neither is set.
std::wstring Option(const wchar_t* switch_name, const wchar_t* environment_name);

// A decimal option value, or `fallback` when it is missing or not a number.
unsigned long NumberOption(const std::wstring& value, unsigned long fallback);

}  // namespace standin
