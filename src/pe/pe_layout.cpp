#include "pe/pe_layout.h"

#include "base/der.h"

namespace {

const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;
const uint32_t kSecurityDirectory = 4;  // index in the data directories

bool Fits(std::string_view image, size_t offset, size_t count) {
  return offset <= image.size() && count <= image.size() - offset;
}

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
    uint32_t length = ReadLe32(image, pos);
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

uint16_t ReadLe16(std::string_view image, size_t offset) {
  return static_cast<uint16_t>(static_cast<unsigned char>(image[offset]) |
                               (static_cast<unsigned char>(image[offset + 1]) << 8));
}

uint32_t ReadLe32(std::string_view image, size_t offset) {
  return static_cast<uint32_t>(ReadLe16(image, offset)) | (static_cast<uint32_t>(ReadLe16(image, offset + 2)) << 16);
}

bool ParsePeLayout(std::string_view image, PeLayout& layout, std::string& error) {
  layout = PeLayout();
  if (!Fits(image, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') return Fail(error, "not a program file (no MZ header)");
  size_t pe = ReadLe32(image, 0x3C);
  if (!Fits(image, pe, 24) || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return Fail(error, "not a PE file (no PE signature)");
  size_t optional = pe + 24;
  size_t optional_size = ReadLe16(image, pe + 20);
  if (!Fits(image, optional, optional_size) || optional_size < 2) return Fail(error, "optional header is cut off");
  uint16_t magic = ReadLe16(image, optional);
  size_t directories;
  if (magic == kPe32Magic) {
    directories = optional + 96;
  } else if (magic == kPe32PlusMagic) {
    directories = optional + 112;
  } else {
    return Fail(error, "unknown optional header kind");
  }
  size_t count_offset = directories - 4;  // NumberOfRvaAndSizes
  if (count_offset + 4 > optional + optional_size) return Fail(error, "optional header is cut off");
  uint32_t directory_count = ReadLe32(image, count_offset);
  size_t security = directories + 8 * kSecurityDirectory;
  if (directory_count <= kSecurityDirectory || security + 8 > optional + optional_size)
    return Fail(error, "no security directory");

  layout.checksum_offset = optional + 64;
  layout.security_directory_offset = security;
  layout.certificate_table_offset = ReadLe32(image, security);
  layout.certificate_table_size = ReadLe32(image, security + 4);
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
  size_t length = ReadLe32(image, layout.last_certificate_offset) - kCertificateHeaderSize;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(image.data()) + content;
  DerElement signature;
  if (!ReadDerElement(bytes, length, signature)) return false;
  for (size_t i = signature.Size(); i < length; ++i)
    if (bytes[i] != 0) return true;
  return false;
}
