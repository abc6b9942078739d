#pragma once
// The settings block that the conference server stamps into a copy of the
// starter: a fixed marker, the Base64 of the settings text on one line, then
// zero bytes. The last marker in the file wins, so a copy stamped again is
// read by its newest block.
#include <cstddef>
#include <string>

// The marker, 42 bytes. This constant also lies in the program's own data,
// followed at once by a zero byte: an unstamped file yields an empty text.
extern const char kEmbeddedBlockMarker[];
const size_t kEmbeddedBlockMarkerLength = 42;

// Start-up's buffer for the settings text read from the block.
const size_t kEmbeddedSettingsSize = 4096;

enum class EmbeddedBlockResult {
  kFound,     // the decoded text is in the output (it may be empty)
  kNoMarker,  // no marker in the data
  kTooLarge   // the decoded text would not fit the output with its zero byte
};

// Finds the last marker in `data` and decodes the Base64 text after it, up to
// the first zero byte or the end of the data, into `settings` (zero-ended).
// The output is empty unless the result is kFound.
EmbeddedBlockResult ExtractEmbeddedSettings(const unsigned char* data, size_t size, char* settings,
                                            size_t capacity);

// What a stamping tool appends: the marker, the Base64 of `settings_text`
// without line breaks, and `zero_bytes` zero bytes (at least one).
std::string BuildEmbeddedBlock(const std::string& settings_text, size_t zero_bytes);

// Whether a settings text from the block is one the starter will use.
bool IsValidEmbeddedSettings(const char* settings);
