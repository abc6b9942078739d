#pragma once
// The parsed form of a query ("key=value&key=value"): keys and values are byte
// strings, compared byte by byte; the last occurrence of a key wins.
#include <cstddef>
#include <map>
#include <string>

class QueryMap {
 public:
  // Keys longer than this are not keys: their segment is skipped.
  static const size_t kMaxKeyLength = 511;

  // Adds the pairs of `text` (zero-ended). Runs of separators count as one;
  // segments that start with '=', hold no '=' or have an over-long key are
  // skipped. With url_decode, key and value are URL-decoded after splitting.
  void Parse(const char* text, char separator, bool url_decode);

  // The value of `key`, or an empty text when it is not there.
  const std::string& GetValue(const char* key) const;

  size_t Size() const { return m_oPairs.size(); }
  void Clear() { m_oPairs.clear(); }

 private:
  std::map<std::string, std::string> m_oPairs;
};
