#include "setup/kept_part.h"

#include <cstring>

#include "base/tag_field.h"
#include "base/text.h"
#include "net/range_reply.h"

namespace {

const char* const kFields[] = {"KeptServer", "KeptSize", "KeptBytes", "KeptValidator", "KeptTime"};

// Digits only, within `limit`: a head is written by this program, so
// anything looser was changed by someone else.
bool ReadDecimal(const std::string& text, long long limit, long long* value) {
  if (text.empty() || text.size() > 19) return false;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    // Checked before it is taken on: nineteen digits overflow a long long.
    if (number > (limit - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return true;
}

bool FitsAField(const std::string& value) {
  return value.find_first_of("<\r\n", 0, 3) == std::string::npos && value.find('\0') == std::string::npos;
}

}  // namespace

std::string KeptServer(const char* host, int port) { return ks::Format("%s:%d", host ? host : "", port); }

std::string KeptHead(const KeptPart& part) {
  if (part.kept <= 0 || part.kept >= part.size || !ksnet::IsUsableValidator(part.validator) ||
      part.server.empty() || !FitsAField(part.server) || part.time < 0)
    return std::string();
  const std::string values[] = {part.server, std::to_string(part.size), std::to_string(part.kept), part.validator,
                                std::to_string(part.time)};
  std::string head;
  for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i)
    head += Utility::OpeningTag(kFields[i]) + values[i] + Utility::ClosingTag(kFields[i]) + "\n";
  head += "\n";
  return head.size() <= kKeptHeadLimit ? head : std::string();
}

bool ReadKeptHead(const char* data, size_t length, KeptPart* part, size_t* head_length) {
  if (data == nullptr) return false;
  size_t window = length < kKeptHeadLimit ? length : kKeptHeadLimit;
  const char* end = ks::FindBytes(data, window, "\n\n", 2);
  if (end == nullptr) return false;
  std::string head(data, static_cast<size_t>(end - data) + 1);
  if (head.find('\0') != std::string::npos) return false;

  std::string values[sizeof kFields / sizeof kFields[0]];
  for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i) {
    if (!Utility::GetTagValue(head.c_str(), Utility::OpeningTag(kFields[i]).c_str(),
                              Utility::ClosingTag(kFields[i]).c_str(), values[i]))
      return false;
  }
  KeptPart read;
  long long size = 0;
  long long kept = 0;
  read.server = values[0];
  read.validator = values[3];
  if (!ReadDecimal(values[1], 0x7FFFFFFF, &size) || !ReadDecimal(values[2], 0x7FFFFFFF, &kept) ||
      !ReadDecimal(values[4], 1LL << 62, &read.time))
    return false;
  read.size = static_cast<int>(size);
  read.kept = static_cast<int>(kept);
  // Only a head exactly as it is written counts.
  if (KeptHead(read) != head + "\n") return false;
  *part = read;
  *head_length = head.size() + 1;
  return true;
}

const char* KeptPartMismatch(const KeptPart& part, const std::string& server, int size, long long now) {
  if (part.server != server) return "kept from another account server";
  if (part.size != size) return "kept for another package size";
  if (part.time > now) return "kept in the future";
  if (now - part.time >= kKeptPartLifetimeSeconds) return "kept a week ago or more";
  return nullptr;
}
