#include "system/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::pair<std::string, std::string> Split(const char* command_line) {
  std::string executable = "junk", parameters = "junk";
  SplitCommandLine(command_line, executable, parameters);
  return {executable, parameters};
}

TEST(SplitCommandLine, QuotedProgramWithSpaceAndParameters) {
  EXPECT_EQ(Split("  \"C:\\Program Files\\x.exe\" -p 1"), std::make_pair(std::string("C:\\Program Files\\x.exe"),
                                                                             std::string("-p 1")));
  // Every quote and space after the program is skipped, not only one.
  EXPECT_EQ(Split("\"a b.exe\"\" \" -q"), std::make_pair(std::string("a b.exe"), std::string("-q")));
}

TEST(SplitCommandLine, UnquotedProgram) {
  EXPECT_EQ(Split("x.exe   -p"), std::make_pair(std::string("x.exe"), std::string("-p")));
  EXPECT_EQ(Split("x.exe"), std::make_pair(std::string("x.exe"), std::string()));
  EXPECT_EQ(Split("x.exe -a \"b c\""), std::make_pair(std::string("x.exe"), std::string("-a \"b c\"")));
}

TEST(SplitCommandLine, DegenerateInput) {
  EXPECT_EQ(Split(""), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(Split("   "), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(Split(nullptr), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(Split("\"unclosed path -x"), std::make_pair(std::string("unclosed path -x"), std::string()));
}

}  // namespace
