#include "app/settings_certificate.h"

#include <vector>

#include "app/embedded_block.h"

namespace {

using namespace der;

const char kSignedDataOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";  // 1.2.840.113549.1.7.2
const char kSha256WithRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B";
const char kRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01";
const char kCommonNameOid[] = "\x55\x04\x03";
// 1.3.6.1.4.1.32473.1.1: below the enterprise number set aside for examples
// (RFC 5612). Only kstool reads it, to find its own certificate again; a
// maker with an arc of its own may use that instead.
const char kSettingsExtensionOid[] = "\x2B\x06\x01\x04\x01\x81\xFD\x59\x01\x01";

std::string Tlv(unsigned char tag, const std::string& content) {
  std::string out;
  AppendDerElement(out, tag, content);
  return out;
}

// The parts of a signature the stamping touches.
struct SignedDataLayout {
  size_t info_size = 0;          // the whole ContentInfo
  DerChild oid{};                // its contentType
  std::vector<DerChild> fields;  // SignedData's elements
  size_t certificate_set = 0;    // index into fields; fields.size() when there is no set
  std::vector<DerChild> certificates;
};

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

bool ParseSignedData(const unsigned char* data, size_t size, SignedDataLayout& layout, std::string& error) {
  DerElement info;
  if (!ReadDerElement(data, size, info) || info.tag != kSequence)
    return Fail(error, "the signature is not a DER sequence");
  layout.info_size = info.Size();
  std::vector<DerChild> parts;
  if (!ReadDerChildren(data, info.header, info.Size(), parts) || parts.size() != 2 ||
      !DerContentIs(data, parts[0], kOid, DerBytes(kSignedDataOid)) || parts[1].element.tag != kExplicit0)
    return Fail(error, "the signature is not PKCS#7 signed data");
  layout.oid = parts[0];

  std::vector<DerChild> inner;
  if (!ReadDerChildren(data, parts[1], inner) || inner.size() != 1 || inner[0].element.tag != kSequence)
    return Fail(error, "the signed data is not one DER sequence");
  // version, digest algorithms, content, [certificates], [crls], signer infos
  if (!ReadDerChildren(data, inner[0], layout.fields) || layout.fields.size() < 4 ||
      layout.fields[0].element.tag != kInteger || layout.fields[1].element.tag != kSet ||
      layout.fields[2].element.tag != kSequence || layout.fields.back().element.tag != kSet)
    return Fail(error, "the signed data's fields are malformed");

  layout.certificate_set = layout.fields.size();
  layout.certificates.clear();
  if (layout.fields[3].element.tag == kExplicit0) {
    layout.certificate_set = 3;
    if (!ReadDerChildren(data, layout.fields[3], layout.certificates))
      return Fail(error, "the signature's certificate set is malformed");
  }
  return true;
}

}  // namespace

std::string BuildSettingsCertificate(const std::string& settings_text) {
  // Only the certificate set's syntax matters: nothing chains to or verifies
  // this certificate, so its key and signature are empty and its dates fixed.
  const std::string algorithm = Tlv(kSequence, Tlv(kOid, DerBytes(kSha256WithRsaOid)) + Tlv(kNull, ""));
  const std::string name =
      Tlv(kSequence, Tlv(kSet, Tlv(kSequence, Tlv(kOid, DerBytes(kCommonNameOid)) +
                                                  Tlv(kUtf8String, "Kestrelon starter settings"))));
  const std::string empty_bits(1, '\0');  // no unused bits, no bits
  std::string tbs = Tlv(kExplicit0, Tlv(kInteger, std::string(1, '\2')));  // version 3
  tbs += Tlv(kInteger, std::string(1, '\1'));
  tbs += algorithm;
  tbs += name;
  tbs += Tlv(kSequence, Tlv(kUtcTime, "250101000000Z") + Tlv(kUtcTime, "491231235959Z"));
  tbs += name;
  tbs += Tlv(kSequence, Tlv(kSequence, Tlv(kOid, DerBytes(kRsaOid)) + Tlv(kNull, "")) + Tlv(kBitString, empty_bits));
  const std::string extension =
      Tlv(kSequence, Tlv(kOid, DerBytes(kSettingsExtensionOid)) +
                         Tlv(kOctetString, BuildEmbeddedBlock(settings_text, 1)));
  tbs += Tlv(kExplicit3, Tlv(kSequence, extension));
  return Tlv(kSequence, Tlv(kSequence, tbs) + algorithm + Tlv(kBitString, empty_bits));
}

bool IsSettingsCertificate(const unsigned char* certificate, size_t size) {
  std::vector<DerChild> parts;
  DerElement whole;
  if (!ReadDerElement(certificate, size, whole) || whole.tag != kSequence ||
      !ReadDerChildren(certificate, whole.header, whole.Size(), parts) || parts.empty() ||
      parts[0].element.tag != kSequence)
    return false;
  std::vector<DerChild> tbs;
  if (!ReadDerChildren(certificate, parts[0], tbs)) return false;
  for (const DerChild& field : tbs) {
    if (field.element.tag != kExplicit3) continue;
    std::vector<DerChild> list, extensions, items;
    if (!ReadDerChildren(certificate, field, list) || list.size() != 1 ||
        !ReadDerChildren(certificate, list[0], extensions))
      return false;
    for (const DerChild& extension : extensions) {
      if (ReadDerChildren(certificate, extension, items) && !items.empty() &&
          DerContentIs(certificate, items[0], kOid, DerBytes(kSettingsExtensionOid)))
        return true;
    }
  }
  return false;
}

bool PutSettingsCertificate(const unsigned char* signature, size_t size, const std::string& certificate,
                            std::string& output, std::string& error) {
  output.clear();
  SignedDataLayout layout;
  if (!ParseSignedData(signature, size, layout, error)) return false;
  const char* bytes = reinterpret_cast<const char*>(signature);

  std::string set;
  for (const DerChild& old : layout.certificates) {
    if (!IsSettingsCertificate(signature + old.offset, old.element.Size()))
      set.append(bytes + old.offset, old.element.Size());
  }
  set += certificate;

  // The set sits after the content (or where it would be), before the rest.
  size_t split = layout.certificate_set < layout.fields.size() ? layout.certificate_set : 3;
  size_t resume = layout.certificate_set < layout.fields.size() ? split + 1 : split;
  std::string fields(bytes + layout.fields[0].offset, layout.fields[split].offset - layout.fields[0].offset);
  AppendDerElement(fields, kExplicit0, set);
  fields.append(bytes + layout.fields[resume].offset, layout.fields.back().End() - layout.fields[resume].offset);

  std::string content(bytes + layout.oid.offset, layout.oid.element.Size());
  AppendDerElement(content, kExplicit0, Tlv(kSequence, fields));
  AppendDerElement(output, kSequence, content);
  return true;
}

bool FindSettingsCertificate(const unsigned char* signature, size_t size, size_t& offset, size_t& length) {
  SignedDataLayout layout;
  std::string error;
  if (!ParseSignedData(signature, size, layout, error)) return false;
  bool found = false;
  for (const DerChild& certificate : layout.certificates) {
    if (IsSettingsCertificate(signature + certificate.offset, certificate.element.Size())) {
      offset = certificate.offset;
      length = certificate.element.Size();
      found = true;
    }
  }
  return found;
}
