#pragma once
// Splitting a command line into the program and its parameters, for handing
// it to the shell when a process cannot be created directly.
#include <string>

// Leading spaces are skipped. A program in double quotes runs to the next
// quote (or the end), and every quote and space after it is skipped; an
// unquoted program runs to the first space, and the spaces after it are
// skipped. The rest is the parameter text.
void SplitCommandLine(const char* command_line, std::string& executable, std::string& parameters);
