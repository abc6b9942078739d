#include "package/package_signature.h"

#include <cstring>
#include <vector>

#include "base/der.h"
#include "base/text.h"
#include "package/package_entry.h"
#include "package/package_inflate.h"

namespace package {

const char kSignatureEntryName[] = "KSPackage.sig";

namespace {

using namespace der;

const char kSignedDataOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";     // 1.2.840.113549.1.7.2
const char kDataOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01";           // 1.2.840.113549.1.7.1
const char kSha256Oid[] = "\x60\x86\x48\x01\x65\x03\x04\x02\x01";         // 2.16.840.1.101.3.4.2.1
const char kContentTypeOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03";    // 1.2.840.113549.1.9.3
const char kMessageDigestOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04";  // 1.2.840.113549.1.9.4
const char kSubjectKeyIdOid[] = "\x55\x1D\x0E";                            // 2.5.29.14
const char kRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01";            // 1.2.840.113549.1.1.1
const char kSha256WithRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B";  // 1.2.840.113549.1.1.11

SignatureEntryStatus Status(SignatureEntry& entry, SignatureEntryStatus status, const std::string& detail) {
  entry.detail = detail;
  return status;
}

// Sizes in texts: every printf takes this one.
unsigned long long Number(size_t value) { return value; }

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

// How the signer names its certificate.
struct SignerId {
  std::string issuer;  // the whole Name element
  std::string serial;  // the INTEGER's content
  std::string key_id;  // the subject key identifier, when named so
};

bool IsAlgorithm(const unsigned char* base, const DerChild& algorithm, const std::string& oid) {
  std::vector<DerChild> parts;
  if (algorithm.element.tag != kSequence || !ReadDerChildren(base, algorithm, parts) || parts.empty() ||
      parts.size() > 2 || !DerContentIs(base, parts[0], kOid, oid))
    return false;
  return parts.size() == 1 || (parts[1].element.tag == kNull && parts[1].element.length == 0);
}

std::string WholeElement(const unsigned char* base, const DerChild& child) {
  return std::string(reinterpret_cast<const char*>(base) + child.offset, child.element.Size());
}

// The one value of an attribute; false unless there is exactly one.
bool OnlyValue(const unsigned char* base, const DerChild& values, DerChild& value) {
  std::vector<DerChild> list;
  if (values.element.tag != kSet || !ReadDerChildren(base, values, list) || list.size() != 1) return false;
  value = list[0];
  return true;
}

// A SET OF in DER holds its elements in ascending order of their encodings,
// the shorter padded with zero bytes. Signers hash the attributes as stored,
// while some verifiers sort them first: only a set in this order is the same
// to both.
bool InDerOrder(const unsigned char* base, const std::vector<DerChild>& list) {
  for (size_t i = 1; i < list.size(); ++i) {
    const unsigned char* a = base + list[i - 1].offset;
    const unsigned char* b = base + list[i].offset;
    size_t a_size = list[i - 1].element.Size(), b_size = list[i].element.Size();
    size_t common = a_size < b_size ? a_size : b_size;
    int order = memcmp(a, b, common);
    if (order > 0) return false;
    if (order == 0) {
      for (size_t k = common; k < a_size; ++k)
        if (a[k] != 0) return false;
    }
  }
  return true;
}

bool ReadSignedAttributes(const unsigned char* base, const DerChild& attributes, DetachedSignature& signature,
                          std::string& error) {
  std::vector<DerChild> list;
  if (!ReadDerChildren(base, attributes, list)) return Fail(error, "its signed attributes are malformed");
  if (!InDerOrder(base, list)) return Fail(error, "its signed attributes are not in DER order");
  int content_types = 0;
  int digests = 0;
  for (const DerChild& attribute : list) {
    std::vector<DerChild> parts;
    DerChild value;
    if (attribute.element.tag != kSequence || !ReadDerChildren(base, attribute, parts) || parts.size() != 2 ||
        parts[0].element.tag != kOid)
      return Fail(error, "its signed attributes are malformed");
    if (DerContentIs(base, parts[0], kOid, DerBytes(kContentTypeOid))) {
      if (++content_types > 1 || !OnlyValue(base, parts[1], value) ||
          !DerContentIs(base, value, kOid, DerBytes(kDataOid)))
        return Fail(error, "its content type attribute is not one that names data");
    } else if (DerContentIs(base, parts[0], kOid, DerBytes(kMessageDigestOid))) {
      if (++digests > 1 || !OnlyValue(base, parts[1], value) || value.element.tag != kOctetString ||
          value.element.length != kSha256Size)
        return Fail(error, "its messageDigest attribute is not one SHA-256 digest");
      signature.message_digest = DerContent(base, value);
    }
  }
  if (content_types != 1 || digests != 1) return Fail(error, "its signed attributes lack the content type or messageDigest");
  // Signed as a SET OF, though stored with the context tag [0].
  signature.signed_attributes = WholeElement(base, attributes);
  signature.signed_attributes[0] = static_cast<char>(kSet);
  signature.has_signed_attributes = true;
  return true;
}

bool ReadSignerId(const unsigned char* base, const DerChild& sid, SignerId& id) {
  if (sid.element.tag == kContext0) {
    id.key_id = DerContent(base, sid);
    return !id.key_id.empty();
  }
  std::vector<DerChild> parts;
  if (sid.element.tag != kSequence || !ReadDerChildren(base, sid, parts) || parts.size() != 2 ||
      parts[0].element.tag != kSequence || parts[1].element.tag != kInteger)
    return false;
  id.issuer = WholeElement(base, parts[0]);
  id.serial = DerContent(base, parts[1]);
  return true;
}

// Whether the certificate's extensions name `key_id` as its subject key.
bool HasSubjectKeyId(const unsigned char* base, const DerChild& extensions_field, const std::string& key_id) {
  std::vector<DerChild> wrapper, extensions, parts, inner;
  if (!ReadDerChildren(base, extensions_field, wrapper) || wrapper.size() != 1 ||
      !ReadDerChildren(base, wrapper[0], extensions))
    return false;
  for (const DerChild& extension : extensions) {
    if (!ReadDerChildren(base, extension, parts) || parts.size() < 2 ||
        !DerContentIs(base, parts[0], kOid, DerBytes(kSubjectKeyIdOid)))
      continue;
    const DerChild& value = parts.back();
    return value.element.tag == kOctetString && ReadDerChildren(base, value, inner) && inner.size() == 1 &&
           DerContentIs(base, inner[0], kOctetString, key_id);
  }
  return false;
}

bool IsSignerCertificate(const unsigned char* base, const DerChild& certificate, const SignerId& id) {
  std::vector<DerChild> parts, tbs;
  if (certificate.element.tag != kSequence || !ReadDerChildren(base, certificate, parts) || parts.size() != 3 ||
      parts[0].element.tag != kSequence || !ReadDerChildren(base, parts[0], tbs))
    return false;
  size_t first = !tbs.empty() && tbs[0].element.tag == kExplicit0 ? 1 : 0;  // the version
  // serialNumber, signature, issuer, validity, subject, subjectPublicKeyInfo
  if (tbs.size() < first + 6 || tbs[first].element.tag != kInteger || tbs[first + 2].element.tag != kSequence)
    return false;
  if (!id.key_id.empty()) {
    for (size_t i = first + 6; i < tbs.size(); ++i)
      if (tbs[i].element.tag == kExplicit3) return HasSubjectKeyId(base, tbs[i], id.key_id);
    return false;
  }
  return DerContent(base, tbs[first]) == id.serial && WholeElement(base, tbs[first + 2]) == id.issuer;
}

bool ReadSignerInfo(const unsigned char* base, const DerChild& info, SignerId& id, DetachedSignature& signature,
                    std::string& error) {
  std::vector<DerChild> parts;
  if (info.element.tag != kSequence || !ReadDerChildren(base, info, parts) || parts.size() < 5 ||
      parts[0].element.tag != kInteger)
    return Fail(error, "its signer is malformed");
  if (!ReadSignerId(base, parts[1], id)) return Fail(error, "its signer does not name its certificate");
  if (!IsAlgorithm(base, parts[2], DerBytes(kSha256Oid))) return Fail(error, "its digest is not SHA-256");
  size_t next = 3;
  if (parts[next].element.tag == kExplicit0) {
    if (!ReadSignedAttributes(base, parts[next], signature, error)) return false;
    ++next;
  }
  // signatureAlgorithm, signature, [1] unsigned attributes
  std::vector<DerChild> algorithm;
  if (parts.size() - next < 2 || parts[next].element.tag != kSequence ||
      !ReadDerChildren(base, parts[next], algorithm) || algorithm.empty() || algorithm[0].element.tag != kOid ||
      parts[next + 1].element.tag != kOctetString || parts[next + 1].element.length == 0)
    return Fail(error, "its signature value is malformed");
  if (parts.size() - next > 3 || (parts.size() - next == 3 && parts[next + 2].element.tag != kExplicit1))
    return Fail(error, "its signer holds more than a signer may");
  // RSA alone: a verifier that went by the algorithm named and one that went
  // by the key would not agree on anything else.
  if (!IsAlgorithm(base, parts[next], DerBytes(kRsaOid)) && !IsAlgorithm(base, parts[next], DerBytes(kSha256WithRsaOid)))
    return Fail(error, "its signature algorithm is not RSA");
  signature.signature_algorithm = DerContent(base, algorithm[0]);
  signature.signature = DerContent(base, parts[next + 1]);
  return true;
}

}  // namespace

bool IsSignatureEntryName(const char* name) { return IsEntryNamed(name, kSignatureEntryName); }

SignatureEntryStatus FindSignatureEntry(const unsigned char* archive, size_t size, SignatureEntry& entry) {
  entry = SignatureEntry();
  MemorySource source(archive, size);
  bool seen = false;  // the first signature entry
  size_t signature_start = 0;
  size_t body_start = 0;
  uint32_t body_length = 0;
  size_t last_start = 0;
  size_t entries = 0;
  for (;;) {
    size_t start = source.Position();
    uint32_t name_length = 0;
    if (ReadNameLength(source, &name_length) != EntryStatus::kOk) break;
    char name[kNameBufferSize];
    uint32_t length = 0;
    uint16_t mask = 0;
    if (ReadEntryName(source, name_length, name) != EntryStatus::kOk ||
        ReadEntrySizes(source, &length, &mask) != EntryStatus::kOk || !source.Skip(length)) {
      if (seen)
        return Status(entry, SignatureEntryStatus::kEntriesAfter,
                      ks::Format("an unreadable entry at byte %llu follows it", Number(start)));
      return Status(entry, SignatureEntryStatus::kNone, ks::Format("the entry at byte %llu cannot be read", Number(start)));
    }
    if (!seen && IsSignatureEntryName(name)) {
      seen = true;
      signature_start = start;
      body_length = length;
      body_start = source.Position() - length;
    }
    last_start = start;
    ++entries;
  }
  if (!seen)
    return Status(entry, SignatureEntryStatus::kNone,
                  entries == 0 ? std::string("the archive holds no entries")
                               : ks::Format("no %s entry among %llu entries", kSignatureEntryName, Number(entries)));
  size_t signature_end = body_start + body_length;
  if (last_start != signature_start || signature_end != size)
    return Status(entry, SignatureEntryStatus::kEntriesAfter,
                  ks::Format("%llu bytes follow it at byte %llu", Number(size - signature_end), Number(signature_end)));

  MemorySource body(archive + body_start, body_length);
  StringSink sink(&entry.der, kMaxSignatureSize);
  if (InflateBody(body, body_length, sink) != InflateResult::kOk) {
    entry.der.clear();
    return Status(entry, SignatureEntryStatus::kUnreadable,
                  ks::Format("its body does not inflate to at most %llu bytes", Number(kMaxSignatureSize)));
  }
  entry.signed_size = signature_start;
  return SignatureEntryStatus::kFound;
}

bool ReadDetachedSignature(const unsigned char* der, size_t size, DetachedSignature& signature,
                           std::string& error) {
  signature = DetachedSignature();
  error.clear();
  DerChild info;
  std::vector<DerChild> parts, inner, fields, encapsulated, signers, certificates;
  if (!ReadDerElement(der, size, info.element) || info.element.tag != kSequence || info.element.Size() != size)
    return Fail(error, "it is not one DER element");
  if (!ReadDerChildren(der, info, parts) || parts.size() != 2 ||
      !DerContentIs(der, parts[0], kOid, DerBytes(kSignedDataOid)) || parts[1].element.tag != kExplicit0 ||
      !ReadDerChildren(der, parts[1], inner) || inner.size() != 1 || inner[0].element.tag != kSequence)
    return Fail(error, "it is not CMS signed data");
  // version, digestAlgorithms, encapContentInfo, [0] certificates, [1] crls, signerInfos
  std::vector<DerChild> digests;
  if (!ReadDerChildren(der, inner[0], fields) || fields.size() < 4 || fields[0].element.tag != kInteger ||
      fields[1].element.tag != kSet || fields[2].element.tag != kSequence || !ReadDerChildren(der, fields[1], digests))
    return Fail(error, "its signed data is malformed");
  // The list tells a verifier which digests to take of the content: only the
  // signer's own keeps every verifier to the same one.
  if (digests.size() != 1 || !IsAlgorithm(der, digests[0], DerBytes(kSha256Oid)))
    return Fail(error, "its digest algorithms are not SHA-256 alone");
  if (!ReadDerChildren(der, fields[2], encapsulated) || encapsulated.empty() ||
      !DerContentIs(der, encapsulated[0], kOid, DerBytes(kDataOid)))
    return Fail(error, "its content type is not data");
  if (encapsulated.size() != 1) return Fail(error, "it carries content inside");
  size_t next = 3;
  if (fields[next].element.tag == kExplicit0) {
    if (!ReadDerChildren(der, fields[next], certificates)) return Fail(error, "its certificate set is malformed");
    ++next;
  }
  // Revocation lists serve no check here (none is made), and verifiers differ
  // on ones they cannot read.
  if (next < fields.size() && fields[next].element.tag == kExplicit1)
    return Fail(error, "it carries revocation lists");
  if (next + 1 != fields.size() || fields[next].element.tag != kSet || !ReadDerChildren(der, fields[next], signers))
    return Fail(error, "its signed data is malformed");
  if (signers.size() != 1) return Fail(error, signers.empty() ? "it has no signer" : "it has more than one signer");

  SignerId id;
  if (!ReadSignerInfo(der, signers[0], id, signature, error)) return false;
  for (const DerChild& certificate : certificates) {
    if (IsSignerCertificate(der, certificate, id)) {
      signature.signer_certificate = WholeElement(der, certificate);
      break;
    }
  }
  return true;
}

bool ReadPackageSignature(const unsigned char* archive, size_t size, SignatureEntry& entry,
                          DetachedSignature& signature, const char** what, std::string& detail) {
  switch (FindSignatureEntry(archive, size, entry)) {
    case SignatureEntryStatus::kFound:
      if (ReadDetachedSignature(reinterpret_cast<const unsigned char*>(entry.der.data()), entry.der.size(), signature,
                                detail))
        return true;
      *what = "bad signature";
      return false;
    case SignatureEntryStatus::kNone:
      *what = "no signature";
      break;
    case SignatureEntryStatus::kEntriesAfter:
      *what = "entries after the signature";
      break;
    case SignatureEntryStatus::kUnreadable:
      *what = "bad signature";
      break;
  }
  detail = entry.detail;
  return false;
}

}  // namespace package
