#pragma once
// What a copy of the starter will read from its stamped block, and where that
// block lies, for operators checking the copies they hand out.
#include <cstddef>
#include <string>

#include "app/embedded_block.h"

enum class StampPlace {
  kNone,              // no block: only the program's own marker, or none at all
  kAppended,          // after the program's data (an unsigned copy)
  kCertificateTable,  // in the certificate table, after the signature
  kAddedCertificate,  // in a certificate added to the signature
};

struct StampReport {
  EmbeddedBlockResult result = EmbeddedBlockResult::kNoMarker;
  std::string settings;  // the text start-up gets (empty unless kFound)
  size_t offset = 0;     // of the last marker in the file
  StampPlace place = StampPlace::kNone;
};

// Runs start-up's search over the file's bytes and places the block it finds.
// False with a reason when the file is not a program file kstool can read.
bool DescribeStamp(const std::string& image, StampReport& report, std::string& error);

// "appended", "certificate table", "added certificate" (or "none").
const char* StampPlaceName(StampPlace place);
