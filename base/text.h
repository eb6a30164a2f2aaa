// The program's two value types. Every text is GBK (code page 936) bytes;
// positions the engine hands out are 1-based byte positions, -1 for "none".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A GBK byte string. std::string may hold NULs, but every producer in the
// program stops a text at the first NUL, as the platform's texts do.
using Text = std::string;

// A counted byte run: image data, download bodies, file contents.
using Bytes = std::vector<std::uint8_t>;

inline constexpr int kNotFound = -1;

// GBK treats a byte of 0x80 or above as the lead byte of a two-byte
// character, whatever the byte after it is.
constexpr bool IsLeadByte(unsigned char byte) {
  return byte >= 0x80;
}

// Bytes to step from offset `at` to the next character start.
constexpr std::size_t CharLength(std::string_view text, std::size_t at) {
  return IsLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
}

// The program folds letter case for the ASCII letters only: A-Z to a-z,
// every other byte as it is, also inside a two-byte character.
constexpr unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Whether `text` begins with `lower_prefix`, A-Z folded to a-z in `text`
// (the prefix is written in lower case): for link schemes.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(text[i])) !=
        static_cast<unsigned char>(lower_prefix[i])) {
      return false;
    }
  }
  return true;
}

// Whether `text` starts with http:// or https://, letter case aside: the
// only addresses a download takes.
constexpr bool IsWebLink(std::string_view text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

inline Bytes BytesFromText(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// Stops at the first NUL byte, as a NUL-terminated text would.
inline Text TextFromBytes(const Bytes& bytes) {
  std::size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return Text(reinterpret_cast<const char*>(bytes.data()), n);
}

// Plain decimal digits, a minus sign when negative, no grouping.
inline Text DecimalText(long long value) {
  return std::to_string(value);
}

}  // namespace qm
