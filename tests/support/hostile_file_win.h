#pragma once
// Damaged versions of the files the starter reads from disk, as a user, a
// foreign program or a failing disk may leave them: empty, binary, huge or
// missing their closing tags. Each handler is tried with every kind.
#include <string>

namespace kstest {

enum class HostileKind {
  kEmpty,         // 0 bytes
  kBinary,        // 4 KiB of pseudo-random bytes (zero bytes, Ctrl-Z, CR, LF among them), no tags
  kBinaryInside,  // the sound text with every byte value 0..255 right after its first closing tag
  kHuge,          // the sound text, then zero bytes up to 64 MiB
  kUnclosed,      // the sound text without any closing tag
};

const HostileKind kHostileKinds[] = {HostileKind::kEmpty, HostileKind::kBinary, HostileKind::kBinaryInside,
                                     HostileKind::kHuge, HostileKind::kUnclosed};
const long long kHugeFileSize = 64LL << 20;

const char* HostileKindName(HostileKind kind);

// The bytes of a file of that kind made from `sound_text` (the file as it
// should be). For kHuge only the start: WriteHostileFile extends it.
std::string HostileBytes(HostileKind kind, const std::string& sound_text);

// Writes the file. The huge one is made by extending the file once (sparse
// where the file system allows), so it costs no 64 MiB write.
bool WriteHostileFile(const std::string& path, HostileKind kind, const std::string& sound_text);

// Whether the file still holds exactly what WriteHostileFile wrote. A huge
// file is compared by its size and first bytes, not read whole.
bool HostileFileIntact(const std::string& path, HostileKind kind, const std::string& sound_text);

// What rewriting `bytes` as a text stream stores: CR LF pairs stay, a lone LF
// gains its CR; every other byte, zero bytes and Ctrl-Z included, is kept.
std::string AsRewrittenText(const std::string& bytes);

}  // namespace kstest
