// ks_cache_writer <cache file> <writer letter> <rounds>
// Rewrites the access-setting field of a cache file over and over, reading it
// back between writes, while another copy of itself does the same. Every
// value read must be one whole record list written by one of the writers.
// Exit code: the number of torn or malformed reads (at most 100).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/access_setting.h"
#include "net/cache_file_text.h"
#include "net/my_configure_win.h"

namespace {

const int kRecords = 40;

std::string RecordList(char writer, int round) {
  std::string list;
  for (int i = 0; i < kRecords; ++i) {
    if (!list.empty()) list += '\n';
    list += ksnet::FormatAccessRecord(("w" + std::string(1, writer) + "-" + std::to_string(round) + ".example").c_str(),
                                      8000 + i, false, 'P', "", "proxy.example:3128");
  }
  return list;
}

// Whole when every record has six fields and all belong to one list.
bool WholeList(const std::string& value) {
  std::vector<std::string> records = ksnet::SplitFields(value, '\n');
  if (records.size() != static_cast<size_t>(kRecords)) return false;
  std::string host = ksnet::SplitFields(records[0], '\t')[0];
  for (int i = 0; i < kRecords; ++i) {
    std::vector<std::string> fields = ksnet::SplitFields(records[i], '\t');
    if (fields.size() != 6 || fields[0] != host || fields[1] != std::to_string(8000 + i)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 101;
  MyConfigure configure(0);
  if (!configure.UseCacheFile(argv[1])) return 102;
  char writer = argv[2][0];
  int rounds = atoi(argv[3]);
  int bad = 0;
  std::vector<char> value(ksnet::kServerAccessSettingSize);
  for (int round = 0; round < rounds && bad < 100; ++round) {
    if (!configure.WriteConfigure(ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag,
                                  RecordList(writer, round).c_str()))
      ++bad;
    if (!configure.ReadConfigure(ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag, value.data(),
                                 value.size()) ||
        !WholeList(value.data()))
      ++bad;
  }
  return bad;
}
