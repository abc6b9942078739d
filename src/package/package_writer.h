#pragma once
// Builds package archives: the operator's packing tool, the tests and the
// benchmark all write entries through here, and it writes nothing the
// unpacker would refuse.
#include <cstdint>
#include <string>

#include "package/byte_stream.h"

namespace package {

const int kDefaultCompressionLevel = 6;

// Compresses everything the source delivers into one zlib stream, appended to
// `body`. False when zlib fails or the stream would reach 2^31 bytes.
bool DeflateBody(ByteSource& input, std::string* body, int level = kDefaultCompressionLevel);
bool CompressBody(const void* data, size_t size, std::string* body, int level = kDefaultCompressionLevel);

// The relative name as archives store it: '/' between levels becomes '\'.
std::string ArchiveName(const std::string& relative_path);

// Writes one entry (name length, name and zero byte, lFileLength, iFileMask,
// body). False, with nothing written, for a name the unpacker would refuse
// (unsafe, empty, longer than 779 bytes) or a body of 2^31 bytes or more;
// false also when the sink fails.
bool WriteEntry(ByteSink& sink, const std::string& name, const std::string& body, uint16_t mask = 0);

// The same, appended to an archive in memory.
bool AppendEntry(std::string* archive, const std::string& name, const std::string& body, uint16_t mask = 0);

// Convenience for tests and tools: compresses `content` and appends the entry.
bool AppendFile(std::string* archive, const std::string& name, const std::string& content);

}  // namespace package
