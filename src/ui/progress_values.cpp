#include "ui/progress_values.h"

#include <string>

#include "base/text.h"

ProgressValues ParseProgressValues(const char* text, size_t capacity) {
  // A private zero-ended copy: the sender's buffer need not be ended.
  std::string copy = text == nullptr ? std::string() : std::string(text, ks::BoundedLength(text, capacity));

  size_t first = 0;
  size_t comma = copy.find(',', first);
  size_t second = comma == std::string::npos ? first : comma + 1;
  comma = copy.find(',', second);
  size_t third = comma == std::string::npos ? second : comma + 1;

  ProgressValues values;
  values.percent = ks::ParseInt(copy.c_str() + first);
  values.speed_kbps = ks::ParseInt(copy.c_str() + second);
  values.seconds_remaining = ks::ParseInt(copy.c_str() + third);
  return values;
}
