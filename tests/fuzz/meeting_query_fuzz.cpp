// Decoding the meeting query and the parameter files, everything around the
// SHA-1 test (which needs Windows). The input is read three ways:
//  - as the protocol link ("Kestrelon:sp=...&chk=..."): outer query, "sp"
//    deciphered in its fixed buffer, inner query, settings text, settings
//    reader (the checksum is taken as matching);
//  - as "starter.cfg": deciphered in place, then read as settings;
//  - as "rsp1024hcmd.txt": CR LF folded, then read as settings.
// The reader's members are blocks of exactly their sizes, so a value written
// past one shows under ASan.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/meeting_settings.h"
#include "app/parameter_cipher.h"
#include "app/query_decipher.h"
#include "app/query_map.h"
#include "app/settings_reader.h"
#include "base/text.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Members {
  std::unique_ptr<char[]> server{new char[kSettingsValueSize]};
  int port = 8889;
  std::unique_ptr<char[]> client{new char[kSettingsValueSize]};
  std::unique_ptr<char[]> version{new char[kSettingsValueSize]};
  std::unique_ptr<char[]> sid{new char[kStarterSidSize]};
  std::unique_ptr<char[]> setting{new char[kKeptSettingSize]};
  Members() {
    strcpy(server.get(), "server");
    strcpy(client.get(), "Kestrelon");
    version[0] = sid[0] = setting[0] = '\0';
  }
  SettingsMembers View() { return {server.get(), &port, client.get(), version.get(), sid.get(), setting.get()}; }
};

void ReadSettings(const char* text) {
  Members members;
  SettingsReadResult result = ReadSettingsText(text, members.View());
  if (result == SettingsReadResult::kApplied) {
    KS_FUZZ_CHECK(strcmp(members.setting.get(), text) == 0);  // kept whole, never cut
    KS_FUZZ_CHECK(strlen(members.server.get()) < kSettingsValueSize);
    KS_FUZZ_CHECK(strlen(members.sid.get()) < kStarterSidSize);
  } else {
    KS_FUZZ_CHECK(strcmp(members.server.get(), "server") == 0 && members.port == 8889);
    KS_FUZZ_CHECK(members.setting[0] == '\0');
  }
}

// What the worker does with the deciphered query once its checksum matched.
void DecodeInner(const char* deciphered) {
  QueryMap inner;
  inner.Parse(deciphered, '&', true);
  std::string settings = BuildSettingsTextFromQuery(inner);
  if (settings.find('\0') != std::string::npos || settings.size() >= kKeptSettingSize) return;  // refused
  ReadSettings(settings.c_str());
}

void DecodeLink(const std::string& link) {
  size_t colon = link.find(':');
  if (colon == std::string::npos) return;
  const std::string query_text = link.substr(colon + 1);
  for (bool url_decode : {true, false}) {
    QueryMap outer;
    outer.Parse(query_text.c_str(), '&', url_decode);
    const std::string& parameter = outer.GetValue("sp");
    std::unique_ptr<char[]> deciphered(new char[Utility::kQueryDecipherSize]);
    if (!Utility::DecipherQueryParameter(parameter.c_str(), deciphered.get())) {
      KS_FUZZ_CHECK(strlen(parameter.c_str()) >= Utility::kQueryDecipherSize && deciphered[0] == '\0');
      continue;
    }
    KS_FUZZ_CHECK(strlen(deciphered.get()) <= parameter.size());
    // The cipher is its own inverse: the deciphered text enciphers to a
    // parameter that deciphers back to it.
    std::string again = Utility::EncodeParameter(deciphered.get());
    std::vector<char> round(again.begin(), again.end());
    round.push_back('\0');
    Utility::DecodeParameter(round.data());
    KS_FUZZ_CHECK(strcmp(round.data(), deciphered.get()) == 0);
    DecodeInner(deciphered.get());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = bytes.c_str();  // a command line ends at its first zero byte

  DecodeLink(text);

  // starter.cfg: the whole file plus a zero byte, deciphered in place.
  std::vector<char> cfg(bytes.begin(), bytes.end());
  cfg.push_back('\0');
  size_t before = strlen(cfg.data());
  Utility::DecodeParameter(cfg.data());
  KS_FUZZ_CHECK(strlen(cfg.data()) <= before);
  ReadSettings(cfg.data());

  // rsp1024hcmd.txt: read raw, CR LF folded to LF.
  std::string command_file = bytes;
  ks::CrLfToLf(command_file);
  ReadSettings(command_file.c_str());
  return 0;
}
