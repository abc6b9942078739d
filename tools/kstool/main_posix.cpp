#include "command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kstool::Main(args,
                      "unpack and serve are in kstool.exe only: they run the starter's own Windows\n"
                      "unpacker and a Winsock server (use them under Wine).");
}
