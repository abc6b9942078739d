#pragma once
// A program file's certificate table, where the Authenticode signature
// lies, and the header fields a stamp rewrites. Both the starter's check of
// its own signature and the stamping of settings into its copies read them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct PeLayout {
  size_t checksum_offset = 0;            // of the header checksum field
  size_t security_directory_offset = 0;  // of the certificate table's directory entry
  uint32_t certificate_table_offset = 0;
  uint32_t certificate_table_size = 0;   // 0: the file is not signed
  size_t last_certificate_offset = 0;    // start of the last entry (signed files)
};

// Each certificate entry: dwLength, wRevision, wCertificateType, then its
// content; entries start on 8-byte boundaries.
const size_t kCertificateHeaderSize = 8;
const uint16_t kCertificateRevision2 = 0x0200;
const uint16_t kCertificateTypePkcs7 = 0x0002;

inline size_t AlignCertificateEntry(size_t value) { return (value + 7) & ~static_cast<size_t>(7); }

// Reads and checks the headers and the certificate table (which must follow
// the headers and end the file); false with a reason.
bool ParsePeLayout(std::string_view image, PeLayout& layout, std::string& error);

// Whether bytes other than zero padding follow the signature (the DER
// element the last certificate entry starts with) inside that entry. Systems
// with the strict signature check (EnableCertPaddingCheck) refuse such a
// file. False for an unsigned file or one whose entry does not read as DER.
// `layout` is ParsePeLayout's for `image`.
bool BytesFollowSignature(std::string_view image, const PeLayout& layout);
