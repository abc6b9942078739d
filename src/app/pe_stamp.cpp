#include "app/pe_stamp.h"

#include "app/embedded_block.h"
#include "app/settings_certificate.h"
#include "base/le_bytes.h"

namespace {

void Write32(std::string& image, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[offset + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Little-endian whatever the host; compilers make this one load.
uint64_t Read64(const unsigned char* bytes) {
  return static_cast<uint64_t>(bytes[0]) | (static_cast<uint64_t>(bytes[1]) << 8) |
         (static_cast<uint64_t>(bytes[2]) << 16) | (static_cast<uint64_t>(bytes[3]) << 24) |
         (static_cast<uint64_t>(bytes[4]) << 32) | (static_cast<uint64_t>(bytes[5]) << 40) |
         (static_cast<uint64_t>(bytes[6]) << 48) | (static_cast<uint64_t>(bytes[7]) << 56);
}

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

// The 16-bit little-endian words of `size` bytes that begin at an odd or an
// even offset of the file, added up without folding; a last odd byte is the
// low byte of a word of its own.
uint64_t SumWords(const unsigned char* bytes, size_t size, bool odd_start) {
  uint64_t sum = 0;
  if (odd_start && size > 0) {
    sum += static_cast<uint64_t>(bytes[0]) << 8;
    ++bytes;
    --size;
  }
  // Eight bytes at a time: the four words of each step add up in the 32-bit
  // halves of two accumulators, which cannot overflow within 65535 steps.
  const uint64_t kLanes = 0x0000FFFF0000FFFFull;
  size_t i = 0;
  while (size - i >= 8) {
    size_t steps = (size - i) / 8 < 65535 ? (size - i) / 8 : 65535;
    uint64_t low = 0;
    uint64_t high = 0;
    for (size_t step = 0; step < steps; ++step, i += 8) {
      uint64_t word = Read64(bytes + i);
      low += word & kLanes;
      high += (word >> 16) & kLanes;
    }
    sum += (low & 0xFFFFFFFF) + (low >> 32) + (high & 0xFFFFFFFF) + (high >> 32);
  }
  for (; i + 1 < size; i += 2) sum += static_cast<uint32_t>(bytes[i]) | (static_cast<uint32_t>(bytes[i + 1]) << 8);
  if (i < size) sum += bytes[i];
  return sum;
}

// What the byte at `offset` adds to the sum.
uint64_t ByteWeight(unsigned char byte, size_t offset) {
  return offset % 2 == 0 ? byte : static_cast<uint64_t>(byte) << 8;
}

// The words of the checksum field of a file of `size` bytes, which the sum
// leaves out: a field at an odd offset is taken from the next even one
// (files never put it there).
uint64_t ChecksumFieldWords(const unsigned char* bytes, size_t checksum_offset, size_t size) {
  uint64_t sum = 0;
  for (size_t field = checksum_offset + (checksum_offset & 1); field < checksum_offset + 4 && field < size; field += 2) {
    sum += bytes[field];
    if (field + 1 < size) sum += static_cast<uint64_t>(bytes[field + 1]) << 8;
  }
  return sum;
}

// The carries folded back in, and the length added.
uint32_t FoldChecksum(uint64_t sum, size_t size) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum) + static_cast<uint32_t>(size);
}

const unsigned char* Bytes(std::string_view image) { return reinterpret_cast<const unsigned char*>(image.data()); }

}  // namespace

// Fast enough that stamping per download stays close to a plain copy.
uint32_t ComputePeChecksum(std::string_view image, size_t checksum_offset) {
  const unsigned char* bytes = Bytes(image);
  uint64_t sum = SumWords(bytes, image.size(), false);
  sum -= ChecksumFieldWords(bytes, checksum_offset, image.size());
  return FoldChecksum(sum, image.size());
}

namespace {

// The sizes that follow the copy's new end (and that of the last certificate
// entry, when there is one), and a header checksum where the file had one:
// the file's words, less the bytes the patches and the field replace, plus
// the patches' bytes and the tail's.
void FinishEdit(std::string_view image, const PeLayout& layout, StampEdit& edit) {
  size_t size = edit.Size();
  if (layout.certificate_table_size != 0) {
    size_t entry = layout.last_certificate_offset;
    edit.patches.push_back({entry, static_cast<uint32_t>(size - entry)});
    edit.patches.push_back(
        {layout.security_directory_offset + 4, static_cast<uint32_t>(size - layout.certificate_table_offset)});
  }
  if (ks::LeBytes(image).U32(layout.checksum_offset) == 0) return;

  const unsigned char* bytes = Bytes(image);
  uint64_t sum = SumWords(bytes, edit.kept, false) + SumWords(Bytes(edit.tail), edit.tail.size(), edit.kept % 2 != 0);
  for (const StampEdit::Patch& patch : edit.patches) {
    for (size_t i = 0; i < 4; ++i) {
      sum -= ByteWeight(bytes[patch.offset + i], patch.offset + i);
      sum += ByteWeight(static_cast<unsigned char>(patch.value >> (8 * i)), patch.offset + i);
    }
  }
  // The field lies in the headers, which the copy keeps, apart from the
  // patched sizes.
  sum -= ChecksumFieldWords(bytes, layout.checksum_offset, size);
  edit.patches.push_back({layout.checksum_offset, FoldChecksum(sum, size)});
}

}  // namespace

bool PlanStamp(std::string_view image, const std::string& settings_text, StampEdit& edit, std::string& error) {
  edit = StampEdit();
  PeLayout layout;
  if (!ParsePeLayout(image, layout, error)) return false;

  // The block with enough zero bytes after it to keep the file (and so the
  // certificate entry, which ends with the file) a multiple of 8 bytes long.
  std::string block = BuildEmbeddedBlock(settings_text, 1);
  size_t new_size = AlignCertificateEntry(image.size() + block.size());
  if (new_size > 0xFFFFFFFFu) return Fail(error, "stamped file would exceed 4 GiB");
  block.append(new_size - image.size() - block.size(), '\0');

  edit.kept = image.size();
  edit.tail = std::move(block);
  FinishEdit(image, layout, edit);
  return true;
}

bool PlanStampInCertificate(std::string_view image, const std::string& settings_text, StampEdit& edit,
                            std::string& error) {
  edit = StampEdit();
  PeLayout layout;
  if (!ParsePeLayout(image, layout, error)) return false;
  if (layout.certificate_table_size == 0)
    return Fail(error, "the file is not signed, so there is no certificate set to carry the settings");
  ks::LeBytes file(image);
  size_t entry = layout.last_certificate_offset;
  if (file.U16(entry + 4) != kCertificateRevision2 || file.U16(entry + 6) != kCertificateTypePkcs7)
    return Fail(error, "the last certificate entry is not a PKCS#7 signature");

  size_t kept = entry + kCertificateHeaderSize;
  std::string rewritten;
  if (!PutSettingsCertificate(Bytes(image) + kept, file.U32(entry) - kCertificateHeaderSize,
                              BuildSettingsCertificate(settings_text), rewritten, error))
    return false;
  if (AlignCertificateEntry(kept + rewritten.size()) > 0xFFFFFFFFu) return Fail(error, "stamped file would exceed 4 GiB");

  edit.kept = kept;
  edit.tail = std::move(rewritten);
  edit.tail.append(AlignCertificateEntry(edit.Size()) - edit.Size(), '\0');
  FinishEdit(image, layout, edit);
  return true;
}

void ApplyStampEdit(const StampEdit& edit, std::string& image) {
  image.resize(edit.kept);
  image += edit.tail;
  for (const StampEdit::Patch& patch : edit.patches) Write32(image, patch.offset, patch.value);
}

namespace {

bool StampCopy(bool (*plan)(std::string_view, const std::string&, StampEdit&, std::string&), const std::string& image,
               const std::string& settings_text, std::string& output, std::string& error) {
  StampEdit edit;
  if (!plan(image, settings_text, edit, error)) {
    output.clear();
    return false;
  }
  output = image;
  ApplyStampEdit(edit, output);
  return true;
}

}  // namespace

bool StampImage(const std::string& image, const std::string& settings_text, std::string& output,
                std::string& error) {
  return StampCopy(&PlanStamp, image, settings_text, output, error);
}

bool StampImageInCertificate(const std::string& image, const std::string& settings_text, std::string& output,
                             std::string& error) {
  return StampCopy(&PlanStampInCertificate, image, settings_text, output, error);
}
