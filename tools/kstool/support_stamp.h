#pragma once
// Writing a stamped copy of the starter, once per download on a server.
#include <string>
#include <string_view>

#include "app/pe_stamp.h"
#include "support_files.h"

namespace kstool {

// Writes the copy `edit` makes of the starter `input` as the whole new
// content of `path` (written only whole, as WriteOutput does; "-" is
// standard output). From a mapped file to a file the bytes the copy keeps
// are copied by the system, from the file that was mapped and planned from:
// a starter renamed over in the meantime cannot mix into the copy.
bool WriteStampedCopy(const InputContent& input, const StampEdit& edit, const std::string& path,
                      std::string& error);

}  // namespace kstool
