#include "base/wide_text.h"
#include "command.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  return kstool::Main(args,
                      "pack --sign and verify are in the native kstool only: they sign and check package\n"
                      "signatures with OpenSSL.");
}
