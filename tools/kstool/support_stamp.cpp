#include "support_stamp.h"

#include <algorithm>
#include <vector>

#include "platform.h"
#include "support_files.h"

namespace kstool {

bool WriteStampedCopy(const InputContent& input, const StampEdit& edit, const std::string& path,
                      std::string& error) {
  std::string_view image = input.bytes();
  if (edit.kept > image.size()) {
    error = "cannot write '" + path + "': the stamp keeps more than the file holds";
    return false;
  }
  // Front to back, once: the kept bytes between the patches, the patches,
  // then the tail.
  std::vector<StampEdit::Patch> patches = edit.patches;
  std::sort(patches.begin(), patches.end(),
            [](const StampEdit::Patch& a, const StampEdit::Patch& b) { return a.offset < b.offset; });
  std::vector<char> values(patches.size() * 4);
  std::vector<CopyPiece> pieces;
  size_t at = 0;
  for (size_t i = 0; i < patches.size(); ++i) {
    if (patches[i].offset < at || patches[i].offset + 4 > edit.kept) {
      error = "cannot write '" + path + "': the stamp's changes overlap";
      return false;
    }
    for (size_t b = 0; b < 4; ++b) values[i * 4 + b] = static_cast<char>((patches[i].value >> (8 * b)) & 0xFF);
    pieces.push_back({image.data() + at, patches[i].offset - at, true, at});
    pieces.push_back({&values[i * 4], 4, false, 0});
    at = patches[i].offset + 4;
  }
  pieces.push_back({image.data() + at, edit.kept - at, true, at});
  pieces.push_back({edit.tail.data(), edit.tail.size(), false, 0});

  // The system copies from file to file only, as cp would; otherwise every
  // byte comes from memory.
  OutputFile output(path);
  if (!output.Open(error)) return false;
  if (!WritePieces(path != kStandardStream ? input.mapped_file() : nullptr, pieces, output.get())) {
    error = path == kStandardStream ? "cannot write to standard output" : "cannot write '" + path + "'";
    return false;
  }
  return output.Commit(error);
}

}  // namespace kstool
