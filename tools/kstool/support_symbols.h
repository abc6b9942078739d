#pragma once
// The builds an operator keeps of each starter (kstool explain --symbols
// DIR): the program files below DIR that are builds of a dump's modules, and
// the source lines their debugging information gives.
#include <memory>
#include <string>
#include <vector>

#include "support/minidump_reader.h"
#include "support/pe_image.h"
#include "support/stack_walk.h"

namespace kstool {

class GivenBuilds {
 public:
  // Reads every program file (.exe, .dll) below `folder` whose header names
  // the build of one of the modules; only the headers of the others are
  // read. False with a reason when the folder cannot be listed.
  bool Load(const std::string& folder, const std::vector<MinidumpModule>& modules, std::string& error);
  // Indexed as StackFrame::build.
  const std::vector<const kssupport::PeImage*>& images() const { return images_; }
  const std::string& path(int build) const { return builds_[static_cast<size_t>(build)]->path; }

 private:
  struct Build {
    std::string path;
    std::string bytes;
    kssupport::PeImage image;
  };
  std::vector<std::unique_ptr<Build>> builds_;
  std::vector<const kssupport::PeImage*> images_;
};

// Fills in "file:line" for the frames of given builds from their debugging
// information, through the cross toolchain's addr2line where it runs (the
// native kstool); other frames, and all where it does not run, stay without.
void AddSourceLines(const GivenBuilds& builds, std::vector<kssupport::StackFrame>& frames);

// A C++ symbol's readable name ("(anonymous namespace)::AccessViolation()"),
// or the symbol as it is where it cannot be read.
std::string ReadableName(const std::string& symbol);

}  // namespace kstool
