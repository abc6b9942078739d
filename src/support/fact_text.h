#pragma once
// The support desk's facts as text and as JSON. Values come from logs and
// reports that anyone can write, so any bytes are taken: JSON output is
// always valid UTF-8, a byte that is not part of a well-formed sequence being
// read as Latin-1.
#include <string>
#include <utility>
#include <vector>

namespace kslog {

// One line of an explanation: a key and its text. Keys may repeat ("road",
// "started", "note", "frame").
typedef std::pair<std::string, std::string> Fact;

// Line breaks and trailing blanks of a value, as one line of text.
std::string OneLine(const std::string& value);

// The value as valid UTF-8: each byte that is not part of a well-formed
// sequence taken as Latin-1.
std::string ValidUtf8(const std::string& value);

// The value as a JSON string, quotes included.
std::string JsonString(const std::string& value);

// Facts as one JSON object, each value on one line; keys that may repeat
// become arrays.
std::string JsonObject(const std::vector<Fact>& facts);

}  // namespace kslog
