#include "app/pe_stamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/embedded_block.h"
#include "app/settings_certificate.h"
#include "app/stamp_place.h"

namespace {

const size_t kPe = 0x40;
const size_t kOptional = kPe + 24;
const size_t kChecksum = kOptional + 64;
const size_t kSecurity = kOptional + 112 + 4 * 8;  // PE32+ directories, entry 4
const char kSettings[] = "<__Role__>attendee</__Role__>\n";

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}
uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}

// A 64-bit program image of 1024 bytes with an empty certificate directory.
std::string UnsignedImage() {
  std::string image(1024, '\0');
  for (size_t i = 0x200; i < image.size(); ++i) image[i] = static_cast<char>('A' + i % 26);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPe);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  image[kPe + 20] = static_cast<char>(0xF0);  // size of the optional header
  image[kOptional] = 0x0B;
  image[kOptional + 1] = 0x02;
  Put32(image, kOptional + 108, 16);  // number of directories
  return image;
}

std::string Entry(const std::string& signature) {
  std::string entry(8, '\0');
  Put32(entry, 0, static_cast<uint32_t>(8 + signature.size()));
  entry[4] = 0x00;
  entry[5] = 0x02;  // revision 2.0
  entry[6] = 0x02;  // PKCS#7 signed data
  entry += signature;
  entry.append((8 - entry.size() % 8) % 8, '\0');
  return entry;
}

std::string SignedImage(int entries = 1, const std::string& signature = "\x30\x82signature-") {
  std::string image = UnsignedImage();
  std::string table;
  // Several entries are told apart by a number after each signature.
  for (int i = 0; i < entries; ++i) table += Entry(entries > 1 ? signature + std::to_string(i) : signature);
  Put32(image, kSecurity, static_cast<uint32_t>(image.size()));
  Put32(image, kSecurity + 4, static_cast<uint32_t>(table.size()));
  return image + table;
}

std::string Der(unsigned char tag, const std::string& content) {
  std::string out;
  AppendDerElement(out, tag, content);
  return out;
}

// A PKCS#7 ContentInfo with SignedData: version, digest algorithms, content,
// the certificate set (when given) and the signer infos.
std::string Pkcs7(const std::string* certificates, const std::string& signer = "signer") {
  std::string fields = Der(0x02, "\x01") + Der(0x31, "") + Der(0x30, Der(0x06, "\x2B\x06\x01"));
  if (certificates != nullptr) fields += Der(0xA0, *certificates);
  fields += Der(0x31, Der(0x30, signer));
  return Der(0x30, std::string("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 11) + Der(0xA0, Der(0x30, fields)));
}

const std::string kSignerCertificate = Der(0x30, Der(0x30, "the signer's certificate"));

// The signed image's first certificate entry, as the strict check sees it.
struct SignatureEntry {
  std::string der;   // the DER the entry starts with
  size_t trailing;   // bytes after it, up to the end of the file
  bool zeros;        // all of them zero
};

SignatureEntry Signature(const std::string& image) {
  size_t table = Get32(image, kSecurity);
  DerElement element;
  EXPECT_TRUE(ReadDerElement(reinterpret_cast<const unsigned char*>(image.data()) + table + 8, image.size() - table - 8,
                             element));
  SignatureEntry entry{image.substr(table + 8, element.Size()), image.size() - table - 8 - element.Size(), true};
  for (size_t i = table + 8 + element.Size(); i < image.size(); ++i) entry.zeros = entry.zeros && image[i] == '\0';
  return entry;
}

std::string Extracted(const std::string& image) {
  char text[4096];
  ExtractEmbeddedSettings(reinterpret_cast<const unsigned char*>(image.data()), image.size(), text, sizeof text);
  return text;
}

TEST(StampImage, UnsignedFileGetsTheBlockAtItsEnd) {
  std::string image = UnsignedImage();
  std::string out, error;
  ASSERT_TRUE(StampImage(image, kSettings, out, error)) << error;
  EXPECT_EQ(out.compare(0, image.size(), image), 0);
  EXPECT_EQ(out.size() % 8, 0u);
  EXPECT_EQ(out.compare(image.size(), kEmbeddedBlockMarkerLength, kEmbeddedBlockMarker), 0);
  EXPECT_EQ(Extracted(out), kSettings);
  EXPECT_EQ(Get32(out, kSecurity + 4), 0u);
}

TEST(StampImage, SignedFileGrowsItsLastCertificateEntry) {
  std::string image = SignedImage();
  std::string out, error;
  ASSERT_TRUE(StampImage(image, kSettings, out, error)) << error;
  uint32_t table = Get32(image, kSecurity);
  // Everything up to the directory's size field and the signature itself is untouched.
  EXPECT_EQ(out.compare(0, kSecurity + 4, image, 0, kSecurity + 4), 0);
  EXPECT_EQ(out.compare(table + 4, image.size() - table - 4, image, table + 4, image.size() - table - 4), 0);
  EXPECT_EQ(Get32(out, kSecurity), table);
  EXPECT_EQ(Get32(out, kSecurity + 4), out.size() - table);
  EXPECT_EQ(Get32(out, table), out.size() - table);
  EXPECT_EQ(out.size() % 8, 0u);
  EXPECT_EQ(Extracted(out), kSettings);

  PeLayout layout;
  ASSERT_TRUE(ParsePeLayout(out, layout, error)) << error;
  EXPECT_EQ(layout.last_certificate_offset, table);
}

TEST(StampImage, StampingAgainAddsANewerBlockAfterTheOld) {
  std::string once, twice, error;
  ASSERT_TRUE(StampImage(SignedImage(), kSettings, once, error));
  ASSERT_TRUE(StampImage(once, "<__Role__>second</__Role__>", twice, error)) << error;
  EXPECT_EQ(twice.compare(0, once.size() - 8, once, 0, once.size() - 8) != 0, true);  // sizes changed
  EXPECT_NE(twice.find(kEmbeddedBlockMarker, once.size() - 8), std::string::npos);
  EXPECT_EQ(Extracted(twice), "<__Role__>second</__Role__>");
  uint32_t table = Get32(twice, kSecurity);
  EXPECT_EQ(Get32(twice, table), twice.size() - table);
  EXPECT_EQ(Get32(twice, kSecurity + 4), twice.size() - table);
}

TEST(StampImage, OnlyTheLastOfSeveralEntriesGrows) {
  std::string image = SignedImage(2);
  uint32_t table = Get32(image, kSecurity);
  uint32_t first_length = Get32(image, table);
  size_t second = table + ((first_length + 7) & ~7u);
  std::string out, error;
  ASSERT_TRUE(StampImage(image, kSettings, out, error)) << error;
  EXPECT_EQ(Get32(out, table), first_length);
  EXPECT_EQ(Get32(out, second), out.size() - second);
}

TEST(StampImage, ChecksumIsRenewedOnlyWhenItWasSet) {
  std::string out, error;
  ASSERT_TRUE(StampImage(SignedImage(), kSettings, out, error));
  EXPECT_EQ(Get32(out, kChecksum), 0u);

  std::string image = SignedImage();
  Put32(image, kChecksum, ComputePeChecksum(image, kChecksum));
  ASSERT_TRUE(StampImage(image, kSettings, out, error));
  EXPECT_NE(Get32(out, kChecksum), Get32(image, kChecksum));
  EXPECT_EQ(Get32(out, kChecksum), ComputePeChecksum(out, kChecksum));
}

TEST(StampImageInCertificate, TheSignatureCarriesOneSettingsCertificateAndNothingTrailsIt) {
  // Stamped the appended way first: that block must not outlive the new one.
  std::string appended, once, twice, error;
  ASSERT_TRUE(StampImage(SignedImage(1, Pkcs7(&kSignerCertificate)), "<__Role__>old</__Role__>", appended, error));
  Put32(appended, kChecksum, 1);
  ASSERT_TRUE(StampImageInCertificate(appended, kSettings, once, error)) << error;
  ASSERT_TRUE(StampImageInCertificate(once, "<__Role__>second</__Role__>", twice, error)) << error;

  std::string expected_set = kSignerCertificate + BuildSettingsCertificate("<__Role__>second</__Role__>");
  EXPECT_EQ(Signature(twice).der, Pkcs7(&expected_set));
  for (const std::string* out : {&once, &twice}) {
    uint32_t table = Get32(*out, kSecurity);
    SignatureEntry entry = Signature(*out);
    EXPECT_LT(entry.trailing, 8u);
    EXPECT_TRUE(entry.zeros);
    EXPECT_EQ(out->size() % 8, 0u);
    EXPECT_EQ(Get32(*out, table), out->size() - table);
    EXPECT_EQ(Get32(*out, kSecurity + 4), out->size() - table);
    EXPECT_EQ(Get32(*out, kChecksum), ComputePeChecksum(*out, kChecksum));
  }
  EXPECT_EQ(Extracted(once), kSettings);
  EXPECT_EQ(Extracted(twice), "<__Role__>second</__Role__>");

  // A signature without a certificate set gets one.
  std::string bare;
  ASSERT_TRUE(StampImageInCertificate(SignedImage(1, Pkcs7(nullptr)), kSettings, bare, error)) << error;
  std::string only = BuildSettingsCertificate(kSettings);
  EXPECT_EQ(Signature(bare).der, Pkcs7(&only));
}

TEST(StampImageInCertificate, RefusesWhatItCannotRewrite) {
  std::string set = kSignerCertificate;
  std::string good = Pkcs7(&set);
  std::string cases[7];
  cases[0] = UnsignedImage();
  cases[1] = SignedImage(1, good);
  cases[1][Get32(cases[1], kSecurity) + 6] = 0x01;  // an X.509 entry, not PKCS#7
  cases[2] = SignedImage(1, "\x30\x80" + good.substr(2));  // BER's indefinite length
  cases[3] = SignedImage(1, good);
  cases[3][Get32(cases[3], kSecurity) + 8 + 1] = 0x7F;  // longer than the entry
  cases[4] = SignedImage(1, Der(0x30, Der(0x06, "\x2A\x03") + Der(0xA0, "")));  // not signed data
  std::string inner = good;
  inner[inner.rfind("signer") - 3] += 1;  // a field that runs past its sequence
  cases[5] = SignedImage(1, inner);
  cases[6] = SignedImage(1, "\x30\x81" + good.substr(1));  // long form for a short length
  for (const std::string& bad : cases) {
    std::string out, error;
    EXPECT_FALSE(StampImageInCertificate(bad, kSettings, out, error)) << &bad - cases;
    EXPECT_FALSE(error.empty());
  }
}

// Where the block lies, as kstool shows it, and whether bytes follow the
// signature, which the starter's own check names as the strict check's
// refusal.
TEST(DescribeStamp, TellsWhereTheBlockTheStarterReadsLies) {
  std::string set = kSignerCertificate;
  std::string signed_image = SignedImage(1, Pkcs7(&set));
  std::string appended, in_table, in_certificate, error;
  ASSERT_TRUE(StampImage(UnsignedImage(), kSettings, appended, error));
  ASSERT_TRUE(StampImage(signed_image, kSettings, in_table, error));
  ASSERT_TRUE(StampImageInCertificate(in_table, "<__Role__>newer</__Role__>", in_certificate, error));
  std::string unstamped = signed_image;
  unstamped.replace(0x300, kEmbeddedBlockMarkerLength + 1, BuildEmbeddedBlock("", 1));
  const struct {
    const std::string* image;
    StampPlace place;
    const char* settings;
    bool after_signature;
  } rows[] = {{&appended, StampPlace::kAppended, kSettings, false},
              {&in_table, StampPlace::kCertificateTable, kSettings, true},
              {&in_certificate, StampPlace::kAddedCertificate, "<__Role__>newer</__Role__>", false},
              {&unstamped, StampPlace::kNone, "", false}};
  for (const auto& row : rows) {
    StampReport report;
    ASSERT_TRUE(DescribeStamp(*row.image, report, error)) << error;
    EXPECT_EQ(report.place, row.place) << StampPlaceName(row.place);
    EXPECT_EQ(report.settings, row.settings);
    PeLayout layout;
    ASSERT_TRUE(ParsePeLayout(*row.image, layout, error)) << error;
    EXPECT_EQ(BytesFollowSignature(*row.image, layout), row.after_signature) << StampPlaceName(row.place);
  }
}

TEST(ComputePeChecksum, FoldsCarriesSkipsItsFieldAndAddsTheLength) {
  std::string words("\xFF\xFF\x02\x00\x99\x99\x99\x99\x01", 9);
  // 0xFFFF + 0x0002 folds to 0x0002; the field at 4..7 is skipped; the odd
  // last byte counts as a word of its own: 0x0003 + 9 bytes.
  EXPECT_EQ(ComputePeChecksum(words, 4), 3u + 9u);

  // Long files, mostly 0xFF so the sums carry often, against the word-by-word
  // definition, for every length modulo 8 and both field alignments.
  std::string file(600000, '\xFF');
  for (size_t i = 0; i < file.size(); i += 7) file[i] = static_cast<char>(i * 31);
  for (size_t cut = 0; cut < 8; ++cut) {
    std::string image = file.substr(0, file.size() - cut);
    for (size_t field : {size_t(0xD8), size_t(0xD9), image.size() - 3}) {
      uint64_t sum = 0;
      for (size_t i = 0; i < image.size(); i += 2) {
        if (i >= field && i < field + 4) continue;
        sum += static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size()) sum += static_cast<uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
      }
      sum = (sum & 0xFFFF) + (sum >> 16);
      EXPECT_EQ(ComputePeChecksum(image, field), (sum & 0xFFFF) + image.size()) << cut << " " << field;
    }
  }
}

TEST(StampImage, MalformedFilesAreRefusedWithAReason) {
  std::string out, error;
  std::string image = SignedImage();

  std::string cases[9];
  cases[0] = "not a program";
  cases[1] = image.substr(0, 0x50);
  cases[2] = image;
  cases[2][kPe] = 'X';
  cases[3] = image;
  Put32(cases[3], 0x3C, 0xFFFFFFF0u);
  cases[4] = image + "trailing";  // certificate table no longer at the end
  cases[5] = image;
  Put32(cases[5], Get32(image, kSecurity), 4);  // entry shorter than its header
  cases[6] = image;
  Put32(cases[6], Get32(image, kSecurity), 0x7FFFFFFF);  // entry past the table
  cases[7] = image;
  Put32(cases[7], kSecurity, 0x10000);  // table outside the file
  cases[8] = image;
  cases[8][kPe + 20] = 8;  // optional header too small for the directories
  for (const std::string& bad : cases) {
    error.clear();
    EXPECT_FALSE(StampImage(bad, kSettings, out, error));
    EXPECT_FALSE(error.empty());
  }
}

// Damaged headers in every byte of the header area and the table: never a
// read past the image (the sanitizers watch), always a clear yes or no, also
// to whether bytes follow the signature.
TEST(StampImage, MutatedHeadersNeverOverrun) {
  std::string image = SignedImage(2);
  uint32_t seed = 12345;
  for (int round = 0; round < 20000; ++round) {
    std::string mutated = image;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      size_t at = (seed >> 8) % mutated.size();
      if (at >= 0x200 && at < 1024) at = kSecurity + (seed % 8);
      seed = seed * 1103515245u + 12345u;
      mutated[at] = static_cast<char>(seed >> 16);
    }
    if (round % 7 == 0) mutated.resize((seed >> 4) % mutated.size());
    std::string out, error;
    if (StampImage(mutated, kSettings, out, error)) {
      EXPECT_GT(out.size(), mutated.size());
    } else {
      EXPECT_FALSE(error.empty());
    }
    PeLayout layout;
    if (ParsePeLayout(mutated, layout, error)) BytesFollowSignature(mutated, layout);
  }
}

}  // namespace
