// The rewrite of the access-cache file and of the setup status file. Input:
// one control byte (bit 0: the status file exists), a value up to the first
// zero byte, then the file's bytes (zero bytes included). A rewrite keeps
// every byte outside the field (the cache file: up to its closing tag), a
// rewritten value reads back, and a read value always fits its buffer.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/tag_field.h"
#include "fuzz/fuzz_support.h"
#include "net/cache_file_text.h"
#include "system/status_file_text.h"

namespace {

const char kStatusOpening[] = "<__ClientCalledToLaunch__>";
const char kStatusClosing[] = "</__ClientCalledToLaunch__>";

void CheckStatus(bool existed, const std::string& file, const std::string& value) {
  // The handler works on the whole file, or on the default content when
  // there is no file.
  const std::string content = existed ? file : std::string(kStatusFileDefaultContent);

  std::unique_ptr<char[]> read(new char[kStatusValueSize]);
  if (ReadStatusField(content, kStatusOpening, kStatusClosing, read.get()))
    KS_FUZZ_CHECK(strlen(read.get()) < kStatusValueSize);
  else
    KS_FUZZ_CHECK(read[0] == '\0');

  std::string updated = "untouched";
  if (!RewriteStatusField(content, kStatusOpening, kStatusClosing, value.c_str(), updated)) {
    KS_FUZZ_CHECK(updated == "untouched");
    KS_FUZZ_CHECK(existed);  // the default content always has the field
    return;
  }
  // Other text survives: the part before the value and after it.
  size_t open = content.find(kStatusOpening) + strlen(kStatusOpening);
  KS_FUZZ_CHECK(updated.compare(0, open, content, 0, open) == 0);
  size_t close = content.find(kStatusClosing, open - strlen(kStatusOpening));
  KS_FUZZ_CHECK(updated.size() == content.size() - (close - open) + value.size());
  KS_FUZZ_CHECK(updated.compare(open + value.size(), std::string::npos, content, close, std::string::npos) == 0);
  if (value.find('<') == std::string::npos && value.size() < kStatusValueSize) {
    KS_FUZZ_CHECK(ReadStatusField(updated, kStatusOpening, kStatusClosing, read.get()));
    KS_FUZZ_CHECK(value == read.get());
  }
}

void CheckCache(const std::string& text, const std::string& value) {
  std::string updated = "untouched";
  bool ok = ksnet::RewriteCacheField(text, ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag,
                                     value.c_str(), updated);
  if (!ok) {
    KS_FUZZ_CHECK(updated == "untouched");
    return;
  }
  // Nothing follows the first closing tag, and cutting again changes nothing.
  size_t end = updated.find(ksnet::kCacheClosingTag);
  if (end != std::string::npos) KS_FUZZ_CHECK(end + strlen(ksnet::kCacheClosingTag) == updated.size());
  KS_FUZZ_CHECK(ksnet::CutAfterCacheEnd(updated) == updated);
  // What was written reads back.
  std::string again;
  KS_FUZZ_CHECK(Utility::GetTagValue(updated.c_str(), ksnet::kServerAccessOpeningTag, ksnet::kServerAccessClosingTag,
                                     again));
  KS_FUZZ_CHECK(again == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool existed = (data[0] & 1) != 0;
  std::vector<std::string> parts = ksfuzz::SplitInput(data + 1, size - 1, 2);
  const std::string value = parts[0];
  const std::string file = ksfuzz::PartOr(parts, 1, std::string());

  CheckStatus(existed, file, value);
  CheckCache(file, value);
  // A new cache file takes any value and gives it back.
  CheckCache(ksnet::InitialCacheFileText(), value);
  return 0;
}
