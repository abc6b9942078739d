#include "app/settings_certificate.h"

#include <cstring>
#include <vector>

#include "app/embedded_block.h"

namespace {

const unsigned char kInteger = 0x02;
const unsigned char kBitString = 0x03;
const unsigned char kOctetString = 0x04;
const unsigned char kNull = 0x05;
const unsigned char kOid = 0x06;
const unsigned char kUtf8String = 0x0C;
const unsigned char kUtcTime = 0x17;
const unsigned char kSequence = 0x30;
const unsigned char kSet = 0x31;
const unsigned char kExplicit0 = 0xA0;  // ContentInfo content; SignedData certificates; X.509 version
const unsigned char kExplicit3 = 0xA3;  // X.509 extensions

const char kSignedDataOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";  // 1.2.840.113549.1.7.2
const char kSha256WithRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B";
const char kRsaOid[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01";
const char kCommonNameOid[] = "\x55\x04\x03";
// 1.3.6.1.4.1.32473.1.1: below the enterprise number set aside for examples
// (RFC 5612). Only kstool reads it, to find its own certificate again; a
// maker with an arc of its own may use that instead.
const char kSettingsExtensionOid[] = "\x2B\x06\x01\x04\x01\x81\xFD\x59\x01\x01";

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Tlv(unsigned char tag, const std::string& content) {
  std::string out;
  AppendDerElement(out, tag, content);
  return out;
}

struct Child {
  size_t offset;  // from the start of the buffer the parent lies in
  DerElement element;
};

// The elements that fill [begin, end) exactly.
bool ReadChildren(const unsigned char* base, size_t begin, size_t end, std::vector<Child>& children) {
  children.clear();
  size_t pos = begin;
  while (pos < end) {
    Child child;
    child.offset = pos;
    if (!ReadDerElement(base + pos, end - pos, child.element)) return false;
    children.push_back(child);
    pos += child.element.Size();
  }
  return true;
}

bool ContentIs(const unsigned char* base, const Child& child, unsigned char tag, const std::string& content) {
  return child.element.tag == tag && child.element.length == content.size() &&
         memcmp(base + child.offset + child.element.header, content.data(), content.size()) == 0;
}

size_t ContentStart(const Child& child) { return child.offset + child.element.header; }
size_t End(const Child& child) { return child.offset + child.element.Size(); }

// The parts of a signature the stamping touches.
struct SignedDataLayout {
  size_t info_size = 0;           // the whole ContentInfo
  Child oid{};                    // its contentType
  std::vector<Child> fields;      // SignedData's elements
  size_t certificate_set = 0;     // index into fields; fields.size() when there is no set
  std::vector<Child> certificates;
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
  std::vector<Child> parts;
  if (!ReadChildren(data, info.header, info.Size(), parts) || parts.size() != 2 ||
      !ContentIs(data, parts[0], kOid, Bytes(kSignedDataOid)) || parts[1].element.tag != kExplicit0)
    return Fail(error, "the signature is not PKCS#7 signed data");
  layout.oid = parts[0];

  std::vector<Child> inner;
  if (!ReadChildren(data, ContentStart(parts[1]), End(parts[1]), inner) || inner.size() != 1 ||
      inner[0].element.tag != kSequence)
    return Fail(error, "the signed data is not one DER sequence");
  // version, digest algorithms, content, [certificates], [crls], signer infos
  if (!ReadChildren(data, ContentStart(inner[0]), End(inner[0]), layout.fields) || layout.fields.size() < 4 ||
      layout.fields[0].element.tag != kInteger || layout.fields[1].element.tag != kSet ||
      layout.fields[2].element.tag != kSequence || layout.fields.back().element.tag != kSet)
    return Fail(error, "the signed data's fields are malformed");

  layout.certificate_set = layout.fields.size();
  layout.certificates.clear();
  if (layout.fields[3].element.tag == kExplicit0) {
    layout.certificate_set = 3;
    if (!ReadChildren(data, ContentStart(layout.fields[3]), End(layout.fields[3]), layout.certificates))
      return Fail(error, "the signature's certificate set is malformed");
  }
  return true;
}

}  // namespace

bool ReadDerElement(const unsigned char* data, size_t size, DerElement& element) {
  element = DerElement();
  if (data == nullptr || size < 2 || (data[0] & 0x1F) == 0x1F) return false;
  element.tag = data[0];
  size_t length = data[1];
  size_t header = 2;
  if (length & 0x80) {
    size_t count = length & 0x7F;
    // Indefinite (0x80) and over-long forms are BER, not DER.
    if (count == 0 || count > 4 || size - 2 < count || data[2] == 0) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | data[2 + i];
    if (length < 0x80) return false;
    header += count;
  }
  if (length > size - header) return false;
  element.header = header;
  element.length = length;
  return true;
}

void AppendDerElement(std::string& out, unsigned char tag, const std::string& content) {
  out += static_cast<char>(tag);
  size_t length = content.size();
  if (length < 0x80) {
    out += static_cast<char>(length);
  } else {
    unsigned char bytes[sizeof(size_t)];
    size_t count = 0;
    for (size_t rest = length; rest != 0; rest >>= 8) bytes[count++] = static_cast<unsigned char>(rest & 0xFF);
    out += static_cast<char>(0x80 | count);
    while (count > 0) out += static_cast<char>(bytes[--count]);
  }
  out += content;
}

std::string BuildSettingsCertificate(const std::string& settings_text) {
  // Only the certificate set's syntax matters: nothing chains to or verifies
  // this certificate, so its key and signature are empty and its dates fixed.
  const std::string algorithm = Tlv(kSequence, Tlv(kOid, Bytes(kSha256WithRsaOid)) + Tlv(kNull, ""));
  const std::string name =
      Tlv(kSequence, Tlv(kSet, Tlv(kSequence, Tlv(kOid, Bytes(kCommonNameOid)) +
                                                  Tlv(kUtf8String, "Kestrelon starter settings"))));
  const std::string empty_bits(1, '\0');  // no unused bits, no bits
  std::string tbs = Tlv(kExplicit0, Tlv(kInteger, std::string(1, '\2')));  // version 3
  tbs += Tlv(kInteger, std::string(1, '\1'));
  tbs += algorithm;
  tbs += name;
  tbs += Tlv(kSequence, Tlv(kUtcTime, "250101000000Z") + Tlv(kUtcTime, "491231235959Z"));
  tbs += name;
  tbs += Tlv(kSequence, Tlv(kSequence, Tlv(kOid, Bytes(kRsaOid)) + Tlv(kNull, "")) + Tlv(kBitString, empty_bits));
  const std::string extension =
      Tlv(kSequence, Tlv(kOid, Bytes(kSettingsExtensionOid)) +
                         Tlv(kOctetString, BuildEmbeddedBlock(settings_text, 1)));
  tbs += Tlv(kExplicit3, Tlv(kSequence, extension));
  return Tlv(kSequence, Tlv(kSequence, tbs) + algorithm + Tlv(kBitString, empty_bits));
}

bool IsSettingsCertificate(const unsigned char* certificate, size_t size) {
  std::vector<Child> parts;
  DerElement whole;
  if (!ReadDerElement(certificate, size, whole) || whole.tag != kSequence ||
      !ReadChildren(certificate, whole.header, whole.Size(), parts) || parts.empty() ||
      parts[0].element.tag != kSequence)
    return false;
  std::vector<Child> tbs;
  if (!ReadChildren(certificate, ContentStart(parts[0]), End(parts[0]), tbs)) return false;
  for (const Child& field : tbs) {
    if (field.element.tag != kExplicit3) continue;
    std::vector<Child> list, extensions, items;
    if (!ReadChildren(certificate, ContentStart(field), End(field), list) || list.size() != 1 ||
        !ReadChildren(certificate, ContentStart(list[0]), End(list[0]), extensions))
      return false;
    for (const Child& extension : extensions) {
      if (ReadChildren(certificate, ContentStart(extension), End(extension), items) && !items.empty() &&
          ContentIs(certificate, items[0], kOid, Bytes(kSettingsExtensionOid)))
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
  for (const Child& old : layout.certificates) {
    if (!IsSettingsCertificate(signature + old.offset, old.element.Size()))
      set.append(bytes + old.offset, old.element.Size());
  }
  set += certificate;

  // The set sits after the content (or where it would be), before the rest.
  size_t split = layout.certificate_set < layout.fields.size() ? layout.certificate_set : 3;
  size_t resume = layout.certificate_set < layout.fields.size() ? split + 1 : split;
  std::string fields(bytes + layout.fields[0].offset, layout.fields[split].offset - layout.fields[0].offset);
  AppendDerElement(fields, kExplicit0, set);
  fields.append(bytes + layout.fields[resume].offset, End(layout.fields.back()) - layout.fields[resume].offset);

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
  for (const Child& certificate : layout.certificates) {
    if (IsSettingsCertificate(signature + certificate.offset, certificate.element.Size())) {
      offset = certificate.offset;
      length = certificate.element.Size();
      found = true;
    }
  }
  return found;
}
