#include "app/stamp_place.h"

#include "app/settings_certificate.h"
#include "base/codec.h"
#include "base/le_bytes.h"
#include "pe/pe_layout.h"

namespace {

// Inside the settings certificate of the last entry's signature?
bool InAddedCertificate(const std::string& image, const PeLayout& layout, size_t offset) {
  size_t signature = layout.last_certificate_offset + kCertificateHeaderSize;
  size_t length = ks::LeBytes(image).U32(layout.last_certificate_offset) - kCertificateHeaderSize;
  size_t at = 0;
  size_t size = 0;
  return offset >= signature &&
         FindSettingsCertificate(reinterpret_cast<const unsigned char*>(image.data()) + signature, length, at, size) &&
         offset - signature >= at && offset - signature < at + size;
}

}  // namespace

bool DescribeStamp(const std::string& image, StampReport& report, std::string& error) {
  report = StampReport();
  PeLayout layout;
  if (!ParsePeLayout(image, layout, error)) return false;

  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(image.data());
  char settings[kEmbeddedSettingsSize];
  report.result = ExtractEmbeddedSettings(bytes, image.size(), settings, sizeof settings);
  report.settings = settings;
  long long marker = Utility::FindLastPattern(reinterpret_cast<const unsigned char*>(kEmbeddedBlockMarker),
                                              kEmbeddedBlockMarkerLength, bytes, image.size());
  // The program's own copy of the marker is followed at once by a zero byte.
  if (marker < 0 || (report.result == EmbeddedBlockResult::kFound && report.settings.empty())) return true;
  report.offset = static_cast<size_t>(marker);
  if (layout.certificate_table_size == 0 || report.offset < layout.certificate_table_offset) {
    report.place = StampPlace::kAppended;
  } else if (InAddedCertificate(image, layout, report.offset)) {
    report.place = StampPlace::kAddedCertificate;
  } else {
    report.place = StampPlace::kCertificateTable;
  }
  return true;
}

const char* StampPlaceName(StampPlace place) {
  switch (place) {
    case StampPlace::kAppended:
      return "appended";
    case StampPlace::kCertificateTable:
      return "certificate table";
    case StampPlace::kAddedCertificate:
      return "added certificate";
    default:
      return "none";
  }
}
