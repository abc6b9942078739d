// The package signature's readers. The input is read twice: as a package
// archive whose last entry may be the signature, and as the DER signature
// itself (a fuzzer seldom builds a zlib stream around one). Whatever the
// bytes, nothing is read past them; a signature entry found ends the archive
// exactly and nothing before it is one; a signature taken apart holds what
// the check relies on, each part found within the input.
#include <cstring>
#include <string>

#include "base/der.h"
#include "fuzz/fuzz_support.h"
#include "package/package_signature.h"

namespace {

bool IsOneElement(const std::string& bytes, unsigned char tag) {
  DerElement element;
  return ReadDerElement(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), element) &&
         element.tag == tag && element.Size() == bytes.size();
}

bool Within(const uint8_t* data, size_t size, const std::string& part) {
  if (part.empty()) return true;
  const char* hay = reinterpret_cast<const char*>(data);
  return std::string(hay, size).find(part) != std::string::npos;
}

void CheckSignature(const uint8_t* data, size_t size) {
  package::DetachedSignature signature;
  std::string error;
  if (!package::ReadDetachedSignature(data, size, signature, error)) {
    KS_FUZZ_CHECK(!error.empty());
    return;
  }
  KS_FUZZ_CHECK(!signature.signature.empty() && Within(data, size, signature.signature));
  KS_FUZZ_CHECK(signature.signer_certificate.empty() || IsOneElement(signature.signer_certificate, der::kSequence));
  KS_FUZZ_CHECK(Within(data, size, signature.signer_certificate));
  if (signature.has_signed_attributes) {
    KS_FUZZ_CHECK(signature.message_digest.size() == package::kSha256Size);
    KS_FUZZ_CHECK(IsOneElement(signature.signed_attributes, der::kSet));
    // Stored with the context tag, signed as a set: every other byte as found.
    std::string stored = signature.signed_attributes;
    stored[0] = static_cast<char>(der::kExplicit0);
    KS_FUZZ_CHECK(Within(data, size, stored));
  } else {
    KS_FUZZ_CHECK(signature.message_digest.empty() && signature.signed_attributes.empty());
  }
}

void CheckEntry(const uint8_t* data, size_t size) {
  package::SignatureEntry entry;
  package::SignatureEntryStatus status = package::FindSignatureEntry(data, size, entry);
  if (status != package::SignatureEntryStatus::kFound) {
    KS_FUZZ_CHECK(!entry.detail.empty() && entry.der.empty());
    return;
  }
  KS_FUZZ_CHECK(entry.signed_size < size && entry.der.size() <= package::kMaxSignatureSize);
  // The name follows its 4-byte length at the entry's start.
  const size_t name = entry.signed_size + 4;
  KS_FUZZ_CHECK(size - name > strlen(package::kSignatureEntryName));
  KS_FUZZ_CHECK(package::IsSignatureEntryName(reinterpret_cast<const char*>(data + name)));
  package::SignatureEntry before;
  KS_FUZZ_CHECK(package::FindSignatureEntry(data, entry.signed_size, before) == package::SignatureEntryStatus::kNone);
  CheckSignature(reinterpret_cast<const uint8_t*>(entry.der.data()), entry.der.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckEntry(data, size);
  CheckSignature(data, size);
  return 0;
}
