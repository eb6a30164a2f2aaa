// The text rules every substitution of the engine follows. Positions are
// 1-based byte positions, kNotFound (-1) for none. A byte of 0x80 or above
// and the byte after it form one character, and a match never starts on the
// second byte. All of them run in time linear in text plus needle.
#pragma once

#include <string_view>
#include <vector>

#include "base/text.h"

namespace qm {

// Byte-exact search from byte position `start` (below 1 counts as 1).
int Find(std::string_view text, std::string_view needle, int start = 1);
// As Find, but the ASCII letters A-Z and a-z compare equal wherever they
// stand, also as the second byte of a two-byte character.
int FindFolded(std::string_view text, std::string_view needle, int start = 1);

// Replaces the first occurrence, compared as FindFolded does.
Text ReplaceFirst(std::string_view text, std::string_view needle, std::string_view replacement);
// Replaces every byte-exact occurrence, continuing behind each replacement.
Text ReplaceAll(std::string_view text, std::string_view needle, std::string_view replacement);

// Splits at every CR LF; empty pieces are kept, but a remainder after the
// last separator only when it is not empty.
std::vector<Text> SplitLines(std::string_view text);

// Every line break as a Windows text box holds it: CR LF stays, a lone CR
// or a lone LF becomes CR LF. For GBK texts and UTF-16 ones alike (neither
// sign is ever part of a two-byte character).
template <typename String>
String WithWindowsLineEnds(const String& text) {
  String out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool carriage_return = text[i] == '\r';
    if (!carriage_return && text[i] != '\n') {
      out += text[i];
      continue;
    }
    out += '\r';
    out += '\n';
    if (carriage_return && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

// The bytes between the first start marker at or after start_position and
// the next end marker. "#引号" in a marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                 int start_position = 0, bool case_insensitive = false);

}  // namespace qm
