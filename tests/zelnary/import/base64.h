// Base64 for the data URIs of glTF files written by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace znr::test {

inline std::string base64(const std::vector<uint8_t>& bytes) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (n > 1) v |= uint32_t{bytes[i + 1]} << 8;
    if (n > 2) v |= bytes[i + 2];
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += n > 1 ? kDigits[(v >> 6) & 63] : '=';
    out += n > 2 ? kDigits[v & 63] : '=';
  }
  return out;
}

}  // namespace znr::test
