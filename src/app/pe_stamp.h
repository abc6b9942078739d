#pragma once
// Stamping a settings block into a copy of the starter's program file.
//
// A signed file carries its Authenticode signature in the certificate table,
// which by rule is the last thing in the file and is left out of the
// signature's own hash (as are the security directory entry and the header
// checksum). So the block goes inside the last certificate entry, after the
// signature data, and only the entry length and the directory size grow: the
// signature still verifies. An unsigned file gets the block at its end.
// Machines with the strict signature check refuse bytes after the signature
// in that entry; for them the block goes into a certificate added to the
// signature itself (app/settings_certificate.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pe/pe_layout.h"

// The header checksum as the loader computes it (the checksum field itself is
// counted as zero).
uint32_t ComputePeChecksum(std::string_view image, size_t checksum_offset);

// A stamped copy told against the file it is made from, so that the bytes
// that stay need not pass through the program: the first `kept` bytes of the
// file, then `tail`, with each patch's 32-bit little-endian value written
// over the copy in order. Every patch lies within the kept bytes.
struct StampEdit {
  struct Patch {
    size_t offset;
    uint32_t value;
  };
  size_t kept = 0;
  std::string tail;
  std::vector<Patch> patches;
  size_t Size() const { return kept + tail.size(); }
};

// The edits that StampImage and StampImageInCertificate (below) make. The
// checksum of the copy is taken from the file's words and the changed ones,
// so it is the same as one computed over the copy.
bool PlanStamp(std::string_view image, const std::string& settings_text, StampEdit& edit, std::string& error);
bool PlanStampInCertificate(std::string_view image, const std::string& settings_text, StampEdit& edit,
                            std::string& error);

// Turns the file's bytes into the copy the edit tells.
void ApplyStampEdit(const StampEdit& edit, std::string& image);

// Writes into `output` a copy of `image` with the block for `settings_text`
// added (see above). A header checksum that was set is brought up to date.
// Earlier blocks stay where they are; the new one is the last in the file.
bool StampImage(const std::string& image, const std::string& settings_text, std::string& output,
                std::string& error);

// Writes into `output` a copy of the signed `image` whose last certificate
// entry holds exactly its PKCS#7 signature, with the settings certificate for
// `settings_text` added (replacing an earlier one), followed by zero bytes up
// to the next multiple of 8. Whatever trailed the signature in that entry
// (blocks stamped by StampImage) is dropped. The entry length, the security
// directory size and a header checksum that was set follow. Refuses an
// unsigned file and an entry that is not a PKCS#7 signature.
bool StampImageInCertificate(const std::string& image, const std::string& settings_text, std::string& output,
                             std::string& error);
