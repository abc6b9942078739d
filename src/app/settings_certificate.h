#pragma once
// The settings block carried by a certificate added to an Authenticode
// signature. The signature's certificate set is not covered by its hash, so
// a certificate can be added there without breaking it, and nothing trails
// the signature in the certificate table: machines that refuse such bytes
// (the strict padding check) still accept the file. The certificate is a
// minimal X.509 structure whose one extension holds the marker, the Base64
// text and its zero byte, so the starter's search for the last marker finds
// the block inside it.
#include <cstddef>
#include <string>

#include "base/der.h"

// The certificate that carries `settings_text` (the same bytes for the same
// text, so a copy stamped twice alike is the same file).
std::string BuildSettingsCertificate(const std::string& settings_text);

// Whether the DER certificate holds the settings extension.
bool IsSettingsCertificate(const unsigned char* certificate, size_t size);

// `signature` starts with a PKCS#7 ContentInfo holding SignedData (bytes may
// follow it; they are not part of the result). Writes into `output` the same
// signature with every settings certificate left out of its certificate set
// and `certificate` added at the set's end; every other element is copied
// byte for byte and the lengths that enclose the set are rewritten. False
// with a reason when the signature is not such a structure.
bool PutSettingsCertificate(const unsigned char* signature, size_t size, const std::string& certificate,
                            std::string& output, std::string& error);

// Where the last settings certificate of the signature lies (offset from the
// start of `signature`, and its size); false when it holds none.
bool FindSettingsCertificate(const unsigned char* signature, size_t size, size_t& offset, size_t& length);
