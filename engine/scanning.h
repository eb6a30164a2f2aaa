// How both replacement runs read their inputs: the table cut out of the
// slice mark-up, the image references in it, the numbered file-name ending,
// and the link lines.
#pragma once

#include <vector>

#include "base/text.h"
#include "engine/text_rules.h"
#include "regex/regex_object.h"

namespace qm {

inline constexpr char kSourcePattern[] = R"re(src="(.+)" width=)re";
inline constexpr char kSuffixPattern[] = R"(\d{2,3}\.\D{3,3})";

// The bytes strictly between the first "<table" and the next "</table>";
// the markers are case-sensitive.
Text TableBody(const Text& sliceCode);

// Group 1 of each match of kSourcePattern, in document order, keeping only
// those that contain "_". The search runs on the caller's regex object.
std::vector<Text> FindReferences(RegexObject& regex, const Text& tableBody);

// The first match of kSuffixPattern (for example "01.jpg"), or empty.
Text SliceSuffixOf(RegexObject& regex, const Text& text);

}  // namespace qm
