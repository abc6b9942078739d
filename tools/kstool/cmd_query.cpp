#include <cstdio>
#include <cstring>

#include "app/meeting_settings.h"
#include "app/parameter_cipher.h"
#include "app/query_decoding_win.h"
#include "app/query_map.h"
#include "app/settings_reader.h"
#include "base/codec.h"
#include "base/text.h"
#include "command.h"
#include "support_files.h"

namespace {

const size_t kLimit = 4095;  // the starter's command line and deciphering buffers

int RunQuery(const std::vector<std::string>& args) {
  std::string client = "Kestrelon";
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--client") {
      if (i + 1 >= args.size()) return kstool::Fail("--client needs a name");
      client = args[++i];
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 1) return kstool::Fail("query needs one <settings-query-file> (try --help)");
  if (client.empty() || client.find_first_of(":&= \t\r\n") != std::string::npos)
    return kstool::Fail("client name '%s' cannot name a URL protocol", client.c_str());

  std::string error;
  std::string query;
  if (!kstool::ReadInput(files[0], query, error)) return kstool::Fail("%s", error.c_str());
  while (!query.empty() && strchr("\r\n \t", query.back()) != nullptr) query.pop_back();
  if (query.empty()) return kstool::Fail("query file '%s' is empty", files[0].c_str());
  if (query.find('\0') != std::string::npos) return kstool::Fail("query file '%s' holds a zero byte", files[0].c_str());

  // What the starter will make of it, so a link it would refuse is never handed out.
  QueryMap pairs;
  pairs.Parse(query.c_str(), '&', true);
  std::string settings = BuildSettingsTextFromQuery(pairs);
  if (settings.find('\0') != std::string::npos) return kstool::Fail("a value decodes to a zero byte");
  if (settings.size() >= kKeptSettingSize)
    return kstool::Fail("the settings text would have %d bytes; the starter keeps at most %d",
                        static_cast<int>(settings.size()), static_cast<int>(kKeptSettingSize - 1));

  std::string parameter = Utility::EncodeParameter(query);
  std::string checksum = Utility::GetSHA1CheckSum(query.c_str());
  if (checksum.empty()) return kstool::Fail("the system could not compute SHA-1");
  if (parameter.size() > kLimit) return kstool::Fail("the enciphered query is longer than %d bytes", static_cast<int>(kLimit));

  std::string link = client + ":sp=" + Utility::URLEncode(parameter.c_str()) + "&chk=" +
                     Utility::URLEncode(checksum.c_str());
  if (link.size() > kLimit) return kstool::Fail("the link is longer than %d bytes", static_cast<int>(kLimit));
  printf("%s\n", link.c_str());
  return 0;
}

}  // namespace

KSTOOL_COMMAND("query", "query [--client <name>] <settings-query-file>",
               "Prints the protocol link a web page opens to start a meeting: the inner query\n"
               "(key=value&..., values URL-encoded) enciphered as \"sp\" with its SHA-1\n"
               "checksum as \"chk\". The protocol is the client name (default Kestrelon).",
               RunQuery);
