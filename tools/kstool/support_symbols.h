#pragma once
// The builds an operator keeps of each starter (kstool explain and triage
// --symbols DIR): the program files below DIR that are builds of a dump's
// modules, and the source lines their debugging information gives.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/minidump_reader.h"
#include "support/pe_image.h"
#include "support/stack_walk.h"

namespace kstool {

class GivenBuilds {
 public:
  // Reads the header of every program file (.exe, .dll) below `folder`.
  // False with a reason when the folder cannot be listed.
  bool Index(const std::string& folder, std::string& error);
  // The builds of the modules among the files indexed, in no order; a file
  // is read whole the first time a module's link time stamp names it. Safe
  // from several threads at once; what it gives stays valid with the object.
  std::vector<const kssupport::PeImage*> For(const std::vector<MinidumpModule>& modules);
  // The file a build was read from.
  const std::string& PathOf(const kssupport::PeImage* image) const;

 private:
  struct Build {
    std::string path;
    uint32_t time_stamp = 0;  // from the header; read whole only when a module has it
    bool read = false;
    bool usable = false;
    std::string bytes;
    kssupport::PeImage image;
  };
  std::vector<std::unique_ptr<Build>> builds_;
  std::mutex mutex_;
};

// Fills in "file:line" for the frames of given builds (`images` as the walk
// was given them) from their debugging information, through the cross
// toolchain's addr2line where it runs (the native kstool); other frames, and
// all where it does not run, stay without.
void AddSourceLines(const GivenBuilds& builds, const std::vector<const kssupport::PeImage*>& images,
                    std::vector<kssupport::StackFrame>& frames);

}  // namespace kstool
