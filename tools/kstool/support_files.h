#pragma once
// File and settings-text helpers shared by the kstool subcommands.
#include <string>

namespace kstool {

// Whole file as raw bytes; false with a message in `error`.
bool ReadInput(const std::string& path, std::string& content, std::string& error);

// Writes the bytes (creating or replacing the file); false with a message.
bool WriteOutput(const std::string& path, const std::string& content, std::string& error);

// Reads a settings text the way an operator writes it: CR LF becomes LF, and
// checks that the starter will keep it whole (no zero byte, at most 2047
// bytes). With require_role it must also pass the stamped block's validity
// test. False with a message in `error`.
bool ReadSettingsFile(const std::string& path, bool require_role, std::string& text, std::string& error);

}  // namespace kstool
