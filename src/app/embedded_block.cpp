#include "app/embedded_block.h"

#include <cstring>

#include "base/codec.h"

const char kEmbeddedBlockMarker[] = "V&&VI***DDDD111111###!!!!#####$$$%%@@@UUUU";
static_assert(sizeof kEmbeddedBlockMarker - 1 == kEmbeddedBlockMarkerLength, "marker length");

EmbeddedBlockResult ExtractEmbeddedSettings(const unsigned char* data, size_t size, char* settings,
                                            size_t capacity) {
  if (settings != nullptr && capacity > 0) settings[0] = '\0';
  if (settings == nullptr || capacity == 0) return EmbeddedBlockResult::kTooLarge;
  long long marker = Utility::FindLastPattern(reinterpret_cast<const unsigned char*>(kEmbeddedBlockMarker),
                                              kEmbeddedBlockMarkerLength, data, size);
  if (marker < 0) return EmbeddedBlockResult::kNoMarker;

  // The text ends at the first zero byte; a text that runs to the end of the
  // file simply ends there.
  const char* text = reinterpret_cast<const char*>(data) + marker + kEmbeddedBlockMarkerLength;
  size_t available = size - static_cast<size_t>(marker) - kEmbeddedBlockMarkerLength;
  const void* zero = memchr(text, '\0', available);
  size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : available;

  // Decoding stops as soon as the output would be full, so an endless text
  // costs no more than a block that fits.
  long long count = Utility::Base64Decode(text, length, reinterpret_cast<unsigned char*>(settings), capacity - 1);
  if (count < 0) {
    settings[0] = '\0';
    return EmbeddedBlockResult::kTooLarge;
  }
  settings[count] = '\0';
  return EmbeddedBlockResult::kFound;
}

std::string BuildEmbeddedBlock(const std::string& settings_text, size_t zero_bytes) {
  std::string encoded;
  Utility::Base64Encode(reinterpret_cast<const unsigned char*>(settings_text.data()), settings_text.size(), encoded,
                        false);
  std::string block(kEmbeddedBlockMarker, kEmbeddedBlockMarkerLength);
  block += encoded;
  block.append(zero_bytes == 0 ? 1 : zero_bytes, '\0');
  return block;
}

bool IsValidEmbeddedSettings(const char* settings) {
  return settings != nullptr && strstr(settings, "<__Role__>") != nullptr;
}
