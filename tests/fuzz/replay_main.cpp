// Runs a fuzz target over files instead of generated inputs: every file of
// every folder (or single file) named on the command line, in name order.
// The ordinary native build links each target with this, so the checked-in
// seeds and every saved finding run as a plain test under the sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

bool RunFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size (never null, as libFuzzer passes
  // it), so reading one byte past it shows.
  std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), input.get());
  LLVMFuzzerTestOneInput(input.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // "--require N" : fail unless at least N inputs ran (a seed folder that
  // went missing must not turn into a silent pass).
  size_t required = 1;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--require" && i + 1 < argc) {
      required = static_cast<size_t>(std::stoul(argv[++i]));
      continue;
    }
    fs::path path(arg);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else if (fs::is_regular_file(path, error)) {
      files.push_back(path);
    }
  }
  std::sort(files.begin(), files.end());
  size_t ran = 0;
  for (const fs::path& file : files) {
    if (!RunFile(file)) return 1;
    ++ran;
  }
  printf("%zu inputs ran\n", ran);
  if (ran < required) {
    fprintf(stderr, "expected at least %zu inputs\n", required);
    return 1;
  }
  return 0;
}
