#pragma once
// Writing a stamped copy of the starter, once per download on a server.
#include <string>
#include <string_view>

#include "app/pe_stamp.h"

namespace kstool {

// Writes the copy `edit` makes of `image`, the content of `input_path`, as
// the whole new content of `path` (written only whole, as WriteOutput does;
// "-" is standard input or output). From a file to a file the bytes the
// copy keeps are copied by the system.
bool WriteStampedCopy(const std::string& input_path, std::string_view image, const StampEdit& edit,
                      const std::string& path, std::string& error);

}  // namespace kstool
