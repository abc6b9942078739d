#include "support_symbols.h"

#include <map>

#include "base/text.h"
#include "platform.h"
#include "support_files.h"

namespace kstool {
namespace {

// Enough for the headers and the section table of any build.
const size_t kHeaderBytes = 4096;
const char kAddr2line[] = "x86_64-w64-mingw32-addr2line";

bool IsProgramFile(const std::string& name) {
  if (name.size() < 4) return false;
  std::string extension = name.substr(name.size() - 4);
  for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return extension == ".exe" || extension == ".dll";
}

// "a/b/../c" as "a/c": the build records its sources relative to its
// folders, which addr2line joins as they are.
std::string WithoutClimbs(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == ".." && !parts.empty() && parts.back() != ".." && !parts.back().empty())
      parts.pop_back();
    else if (part != "." || parts.empty())
      parts.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) joined += (i > 0 ? "/" : "") + parts[i];
  return joined;
}

}  // namespace

bool GivenBuilds::Index(const std::string& folder, std::string& error) {
  std::vector<std::string> files;
  if (!IsDirectory(folder) || !ListFiles(folder, files, error)) {
    if (error.empty()) error = "'" + folder + "' is not a folder";
    return false;
  }
  for (const std::string& relative : files) {
    if (!IsProgramFile(relative)) continue;
    std::string path = FileBelow(folder, relative);
    UniqueFile file(OpenFile(path, "rb"));
    if (!file) continue;
    std::string head(kHeaderBytes, '\0');
    head.resize(fread(&head[0], 1, head.size(), file.get()));
    kssupport::PeImage header;
    std::string ignored;
    if (!header.Parse(reinterpret_cast<const unsigned char*>(head.data()), head.size(), ignored)) continue;
    std::unique_ptr<Build> build(new Build());
    build->path = path;
    build->time_stamp = header.time_stamp();
    builds_.push_back(std::move(build));
  }
  return true;
}

std::vector<const kssupport::PeImage*> GivenBuilds::For(const std::vector<MinidumpModule>& modules) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<const kssupport::PeImage*> found;
  for (const std::unique_ptr<Build>& build : builds_) {
    // The headers alone may not tell the debugging sections (their long
    // names are in the string table at the file's end): the time stamp
    // picks the candidates, which are then read whole, once.
    bool named = false;
    for (const MinidumpModule& module : modules) named = named || module.time_stamp == build->time_stamp;
    if (!named) continue;
    if (!build->read) {
      build->read = true;
      std::string ignored;
      build->usable = ReadInput(build->path, build->bytes, ignored) &&
                      build->image.Parse(reinterpret_cast<const unsigned char*>(build->bytes.data()),
                                         build->bytes.size(), ignored);
      if (!build->usable) std::string().swap(build->bytes);
    }
    bool of_one = false;
    for (const MinidumpModule& module : modules)
      of_one = of_one || (build->usable && build->image.IsBuildOf(module.time_stamp, module.size));
    if (of_one) found.push_back(&build->image);
  }
  return found;
}

const std::string& GivenBuilds::PathOf(const kssupport::PeImage* image) const {
  for (const std::unique_ptr<Build>& build : builds_)
    if (&build->image == image) return build->path;
  static const std::string kNone;
  return kNone;
}

void AddSourceLines(const GivenBuilds& builds, const std::vector<const kssupport::PeImage*>& images,
                    std::vector<kssupport::StackFrame>& frames) {
  std::map<int, std::vector<size_t>> by_build;
  for (size_t i = 0; i < frames.size(); ++i)
    if (frames[i].build >= 0) by_build[frames[i].build].push_back(i);
  for (const auto& entry : by_build) {
    const kssupport::PeImage& image = *images[static_cast<size_t>(entry.first)];
    std::vector<std::string> argv = {kAddr2line, "-e", builds.PathOf(&image)};
    for (size_t index : entry.second) {
      const kssupport::StackFrame& frame = frames[index];
      uint64_t named = kssupport::NamedAddress(frame) - (frame.address - frame.offset);
      argv.push_back(ks::Format("0x%llx", static_cast<unsigned long long>(image.image_base() + named)));
    }
    std::string output;
    if (!RunForOutput(argv, output)) continue;
    // One line per address: "file:line", perhaps " (discriminator n)" after.
    size_t start = 0;
    for (size_t index : entry.second) {
      size_t end = output.find('\n', start);
      if (end == std::string::npos) break;
      std::string line = output.substr(start, end - start);
      start = end + 1;
      size_t note = line.find(" (");
      if (note != std::string::npos) line.resize(note);
      if (line.compare(0, 2, "??") != 0 && line.size() > 2 && line.compare(line.size() - 2, 2, ":0") != 0 &&
          line.compare(line.size() - 2, 2, ":?") != 0)
        frames[index].source = WithoutClimbs(line);
    }
  }
}

}  // namespace kstool
