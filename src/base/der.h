#pragma once
// DER, the one encoding of ASN.1 that signatures and certificates use: read
// and written only as far as the starter and kstool need it. Single-byte
// tags, definite lengths in their shortest form; every length is checked
// against the bytes that hold it.
#include <cstddef>
#include <string>
#include <vector>

namespace der {

const unsigned char kInteger = 0x02;
const unsigned char kBitString = 0x03;
const unsigned char kOctetString = 0x04;
const unsigned char kNull = 0x05;
const unsigned char kOid = 0x06;
const unsigned char kUtf8String = 0x0C;
const unsigned char kUtcTime = 0x17;
const unsigned char kSequence = 0x30;
const unsigned char kSet = 0x31;
const unsigned char kContext0 = 0x80;   // [0] IMPLICIT, primitive
const unsigned char kExplicit0 = 0xA0;  // [0], constructed
const unsigned char kExplicit1 = 0xA1;
const unsigned char kExplicit3 = 0xA3;

}  // namespace der

// One DER element: its tag (single-byte tags only), where its content starts
// (header bytes) and how long the content is.
struct DerElement {
  unsigned char tag = 0;
  size_t header = 0;
  size_t length = 0;
  size_t Size() const { return header + length; }
};

// Reads the element at the start of `data`. Only definite lengths in their
// shortest form are taken (DER); false when the header is malformed or the
// content runs past `size`.
bool ReadDerElement(const unsigned char* data, size_t size, DerElement& element);

// Appends tag, length and content.
void AppendDerElement(std::string& out, unsigned char tag, const std::string& content);

// An element and where it starts in the buffer its parent lies in.
struct DerChild {
  size_t offset = 0;
  DerElement element;
  size_t ContentStart() const { return offset + element.header; }
  size_t End() const { return offset + element.Size(); }
};

// The elements that fill [begin, end) of `base` exactly; false when they do
// not (one is malformed or runs past `end`).
bool ReadDerChildren(const unsigned char* base, size_t begin, size_t end, std::vector<DerChild>& children);

// The elements inside `parent`'s content.
bool ReadDerChildren(const unsigned char* base, const DerChild& parent, std::vector<DerChild>& children);

// Whether the child has this tag and exactly this content.
bool DerContentIs(const unsigned char* base, const DerChild& child, unsigned char tag, const std::string& content);

// The child's content as a string.
std::string DerContent(const unsigned char* base, const DerChild& child);

// A literal's bytes without its closing zero: OID contents written as
// "\x2A\x86..." for DerContentIs.
template <size_t N>
std::string DerBytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}
