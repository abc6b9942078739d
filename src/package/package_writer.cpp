#include "package/package_writer.h"

#include <zlib.h>

#include <vector>

#include "package/package_entry.h"

namespace package {
namespace {

void PutUint32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool DeflateBody(ByteSource& input, std::string* body, int level) {
  z_stream stream = z_stream();
  if (deflateInit(&stream, level) != Z_OK) return false;
  std::vector<unsigned char> in(65536);
  std::vector<unsigned char> out(65536);
  const size_t start = body->size();
  bool ok = true;
  int flush = Z_NO_FLUSH;
  while (ok) {
    size_t got = input.Read(in.data(), in.size());
    flush = got < in.size() ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = in.data();
    stream.avail_in = static_cast<uInt>(got);
    int result;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      result = deflate(&stream, flush);
      if (result == Z_STREAM_ERROR) {
        ok = false;
        break;
      }
      body->append(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out);
      if (body->size() - start > kMaxBodyLength) ok = false;
    } while (ok && stream.avail_out == 0);
    if (flush == Z_FINISH) {
      ok = ok && result == Z_STREAM_END;
      break;
    }
  }
  deflateEnd(&stream);
  if (!ok) body->resize(start);
  return ok;
}

bool CompressBody(const void* data, size_t size, std::string* body, int level) {
  MemorySource source(data, size);
  return DeflateBody(source, body, level);
}

std::string ArchiveName(const std::string& relative_path) {
  std::string name = relative_path;
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

bool WriteEntry(ByteSink& sink, const std::string& name, const std::string& body, uint16_t mask) {
  if (name.size() + 1 > kNameBufferSize || name.find('\0') != std::string::npos) return false;
  if (!IsSafeEntryName(name.c_str()) || body.size() > kMaxBodyLength) return false;
  std::string header;
  PutUint32(&header, static_cast<uint32_t>(name.size() + 1));
  header += name;
  header.push_back('\0');
  PutUint32(&header, static_cast<uint32_t>(body.size()));
  header.push_back(static_cast<char>(mask & 0xFF));
  header.push_back(static_cast<char>(mask >> 8));
  return WriteAll(sink, header.data(), header.size()) && WriteAll(sink, body.data(), body.size());
}

bool AppendEntry(std::string* archive, const std::string& name, const std::string& body, uint16_t mask) {
  std::string entry;
  StringSink sink(&entry);
  if (!WriteEntry(sink, name, body, mask)) return false;
  archive->append(entry);
  return true;
}

bool AppendFile(std::string* archive, const std::string& name, const std::string& content) {
  std::string body;
  return CompressBody(content.data(), content.size(), &body) && AppendEntry(archive, name, body);
}

}  // namespace package
