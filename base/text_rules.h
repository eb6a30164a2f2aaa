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

// The bytes between the first start marker at or after start_position and
// the next end marker. "#引号" in a marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                 int start_position = 0, bool case_insensitive = false);

}  // namespace qm
