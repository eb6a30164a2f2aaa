// How both replacement runs read their inputs: the table cut out of the
// slice mark-up, the image references in it, the numbered file-name ending,
// and the link lines.
#pragma once

#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/text_rules.h"
#include "regex/regex_object.h"

namespace qm {

inline constexpr char kSourcePattern[] = R"re(src="(.+)" width=)re";
inline constexpr char kSuffixPattern[] = R"(\d{2,3}\.\D{3,3})";

// The bytes strictly between the first "<table" and the next "</table>";
// the markers are case-sensitive.
Text TableBody(const Text& slice_code);

// Group 1 of each match of kSourcePattern, in document order, keeping only
// those that contain "_". The search runs on the caller's regex object.
std::vector<Text> FindReferences(RegexObject& regex, const Text& table_body);

// The first match of kSuffixPattern (for example "01.jpg"), or empty.
Text SliceSuffixOf(RegexObject& regex, const Text& text);

// The second reading, for exports the table scan misses (capital tags, a
// slice table inside layout tables, images in <div>s, tags wrapped over
// lines with other attributes between): the part of the slice code inside
// the first table found without regard to case, up to the end tag that
// closes it, nested tables counted; empty when there is no such table.
Text OutermostTable(std::string_view slice_code);
// The src value of every <img> tag, in document order: attributes in any
// order and case, over line breaks, in double, single or no quotes.
std::vector<Text> ImageTagSources(std::string_view text);

// The slice sources both runs work on: those of the table scan; when it
// finds none, the <img> sources with "_" and a SliceSuffix in the outermost
// table, or when that has none, in the whole slice code.
std::vector<Text> FindSliceSources(RegexObject& regex, const Text& slice_code);

}  // namespace qm
