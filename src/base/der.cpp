#include "base/der.h"

#include <cstring>

bool ReadDerElement(const unsigned char* data, size_t size, DerElement& element) {
  element = DerElement();
  if (data == nullptr || size < 2 || (data[0] & 0x1F) == 0x1F) return false;
  element.tag = data[0];
  size_t length = data[1];
  size_t header = 2;
  if (length & 0x80) {
    size_t count = length & 0x7F;
    // Indefinite (0x80) and over-long forms are BER, not DER.
    if (count == 0 || count > 4 || size - 2 < count || data[2] == 0) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | data[2 + i];
    if (length < 0x80) return false;
    header += count;
  }
  if (length > size - header) return false;
  element.header = header;
  element.length = length;
  return true;
}

void AppendDerElement(std::string& out, unsigned char tag, const std::string& content) {
  out += static_cast<char>(tag);
  size_t length = content.size();
  if (length < 0x80) {
    out += static_cast<char>(length);
  } else {
    unsigned char bytes[sizeof(size_t)];
    size_t count = 0;
    for (size_t rest = length; rest != 0; rest >>= 8) bytes[count++] = static_cast<unsigned char>(rest & 0xFF);
    out += static_cast<char>(0x80 | count);
    while (count > 0) out += static_cast<char>(bytes[--count]);
  }
  out += content;
}

bool ReadDerChildren(const unsigned char* base, size_t begin, size_t end, std::vector<DerChild>& children) {
  children.clear();
  size_t pos = begin;
  while (pos < end) {
    DerChild child;
    child.offset = pos;
    if (!ReadDerElement(base + pos, end - pos, child.element)) return false;
    children.push_back(child);
    pos += child.element.Size();
  }
  return true;
}

bool ReadDerChildren(const unsigned char* base, const DerChild& parent, std::vector<DerChild>& children) {
  return ReadDerChildren(base, parent.ContentStart(), parent.End(), children);
}

bool DerContentIs(const unsigned char* base, const DerChild& child, unsigned char tag, const std::string& content) {
  return child.element.tag == tag && child.element.length == content.size() &&
         memcmp(base + child.ContentStart(), content.data(), content.size()) == 0;
}

std::string DerContent(const unsigned char* base, const DerChild& child) {
  return std::string(reinterpret_cast<const char*>(base) + child.ContentStart(), child.element.length);
}
