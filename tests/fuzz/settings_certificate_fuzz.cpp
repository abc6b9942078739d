// The settings certificate put into a signature's certificate set. Input: a
// settings text, a zero byte, then the signature bytes. Whatever the
// signature holds, the rewrite never reads past it; when it succeeds the
// result is one DER element whose last settings certificate is the new one
// and yields the text to the starter's search, the signer infos after the set
// are the input's own bytes, and doing it again changes nothing.
#include <cstring>
#include <string>

#include "app/embedded_block.h"
#include "app/settings_certificate.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = ksfuzz::SplitInput(data, size, 2);
  const std::string settings = parts[0].substr(0, 2000);
  const std::string signature = ksfuzz::PartOr(parts, 1, std::string());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(signature.data());

  size_t offset = 0;
  size_t length = 0;
  bool had = FindSettingsCertificate(bytes, signature.size(), offset, length);
  if (had) KS_FUZZ_CHECK(offset + length <= signature.size() && IsSettingsCertificate(bytes + offset, length));

  const std::string certificate = BuildSettingsCertificate(settings);
  std::string output, error;
  if (!PutSettingsCertificate(bytes, signature.size(), certificate, output, error)) {
    KS_FUZZ_CHECK(!error.empty() && output.empty());
    return 0;
  }
  const unsigned char* out = reinterpret_cast<const unsigned char*>(output.data());
  DerElement whole;
  KS_FUZZ_CHECK(ReadDerElement(out, output.size(), whole) && whole.Size() == output.size());
  KS_FUZZ_CHECK(FindSettingsCertificate(out, output.size(), offset, length));
  KS_FUZZ_CHECK(output.compare(offset, length, certificate) == 0);

  char text[kEmbeddedSettingsSize];
  ExtractEmbeddedSettings(out, offset + length, text, sizeof text);
  KS_FUZZ_CHECK(text == settings);

  DerElement input;
  KS_FUZZ_CHECK(ReadDerElement(bytes, signature.size(), input));
  size_t tail = output.size() - offset - length;
  KS_FUZZ_CHECK(tail <= input.Size() &&
                memcmp(bytes + input.Size() - tail, out + offset + length, tail) == 0);

  std::string again;
  KS_FUZZ_CHECK(PutSettingsCertificate(out, output.size(), certificate, again, error));
  KS_FUZZ_CHECK(again == output);
  return 0;
}
