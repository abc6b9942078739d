#include "pe/pe_layout.h"

#include "base/der.h"
#include "base/le_bytes.h"
#include "pe/pe_headers.h"

namespace {

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

// Walks the entries of the table; each starts on an 8-byte boundary.
bool FindLastCertificate(std::string_view image, PeLayout& layout, std::string& error) {
  size_t end = static_cast<size_t>(layout.certificate_table_offset) + layout.certificate_table_size;
  size_t pos = layout.certificate_table_offset;
  size_t last = 0;
  bool any = false;
  while (pos < end) {
    if (end - pos < kCertificateHeaderSize) return Fail(error, "certificate table ends inside an entry header");
    uint32_t length = ks::LeBytes(image).U32(pos);
    if (length < kCertificateHeaderSize || length > end - pos)
      return Fail(error, "certificate entry length does not fit the certificate table");
    last = pos;
    any = true;
    pos += AlignCertificateEntry(length);
  }
  if (!any) return Fail(error, "certificate table holds no entry");
  layout.last_certificate_offset = last;
  return true;
}

}  // namespace

bool ParsePeLayout(std::string_view image, PeLayout& layout, std::string& error) {
  layout = PeLayout();
  ks::LeBytes file(image);
  PeHeaders headers;
  if (!ReadPeHeaders(file, headers, error)) return false;
  size_t security = PeDirectoryEntry(headers, kSecurityDirectory);
  if (security == 0) return Fail(error, "no security directory");

  layout.checksum_offset = headers.optional + 64;
  layout.security_directory_offset = security;
  layout.certificate_table_offset = file.U32(security);
  layout.certificate_table_size = file.U32(security + 4);
  if (layout.certificate_table_size == 0) return true;

  size_t table_end = static_cast<size_t>(layout.certificate_table_offset) + layout.certificate_table_size;
  if (layout.certificate_table_offset == 0 || table_end > image.size())
    return Fail(error, "certificate table lies outside the file");
  if (table_end != image.size()) return Fail(error, "certificate table is not at the end of the file");
  if (layout.certificate_table_offset % 8 != 0) return Fail(error, "certificate table is not 8-byte aligned");
  // A stamp rewrites the header fields and the table's sizes; where they
  // share bytes no copy could hold both.
  if (layout.certificate_table_offset < layout.security_directory_offset + 8 ||
      layout.certificate_table_offset < layout.checksum_offset + 4)
    return Fail(error, "certificate table overlaps the headers");
  return FindLastCertificate(image, layout, error);
}

bool BytesFollowSignature(std::string_view image, const PeLayout& layout) {
  if (layout.certificate_table_size == 0) return false;
  size_t content = layout.last_certificate_offset + kCertificateHeaderSize;
  size_t length = ks::LeBytes(image).U32(layout.last_certificate_offset) - kCertificateHeaderSize;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(image.data()) + content;
  DerElement signature;
  if (!ReadDerElement(bytes, length, signature)) return false;
  for (size_t i = signature.Size(); i < length; ++i)
    if (bytes[i] != 0) return true;
  return false;
}
