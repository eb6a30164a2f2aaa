// Conversions between the program's GBK texts and Unicode. Code page 936 is
// named explicitly, so the result never depends on the system's ANSI code page.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace qm {

// Bytes that are not valid GBK become U+003F, so no input is ever lost
// silently in the middle of a text and nothing fails.
std::u16string WideFromGbk(std::string_view gbk);
// Stops at the first NUL; characters GBK lacks become "?".
Text GbkFromWide(std::u16string_view wide);

std::string Utf8FromWide(std::u16string_view wide);
// Malformed UTF-8 becomes U+FFFD.
std::u16string WideFromUtf8(std::string_view utf8);

inline std::string Utf8FromGbk(std::string_view gbk) {
  return Utf8FromWide(WideFromGbk(gbk));
}
inline Text GbkFromUtf8(std::string_view utf8) {
  return GbkFromWide(WideFromUtf8(utf8));
}

// A character of a Unicode text that GBK cannot hold, and its line.
struct UnheldCharacter {
  std::size_t line = 0;  // from 1; 0 when GBK holds every character
  char32_t code_point = 0;
};

// The first character of `wide` that does not come back from GBK as it
// went: one GBK lacks, or a NUL, which ends a GBK text. Lines end at LF.
UnheldCharacter FirstCharacterGbkLacks(std::u16string_view wide);

// "U+1F600": how a character no GBK text can show is named to the user.
Text CodePointName(char32_t code_point);

}  // namespace qm
