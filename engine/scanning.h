// How both replacement runs read their inputs: the image references of the
// slice mark-up, each with the place where its path stands, the numbered
// file-name ending, and the lines of the link list.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/text_rules.h"
#include "regex/regex_object.h"

namespace qm {

// Two or three digits, a dot and an extension of at least three characters
// that are not digits, blanks, dots or the start of a query.
inline constexpr char kSuffixPattern[] = R"(\d{2,3}\.[^\d\s.?#]{3,})";

// One image reference: the path an image tag's src holds and where it
// stands. A run replaces exactly these bytes, so the same path written
// elsewhere (a style rule, a link, a comment) is never touched.
struct SliceReference {
  std::size_t offset = 0;  // 0-based byte offset of the path in the slice code
  Text source;             // the path as written
};

// The slice code with the path of reference i replaced by contents[i]; the
// bytes between the references stay as they are. Linear in the text.
Text WithContents(std::string_view slice_code, const std::vector<SliceReference>& references,
                  const std::vector<Text>& contents);

// The bytes strictly between the first "<table" and the next "</table>";
// the markers are case-sensitive.
Text TableBody(const Text& slice_code);

// The table scan: in the table body, each src="..." attribute whose tag
// has a width attribute after it, directly or behind other attributes, and
// whose value holds "_". Attribute names in any letter case; the value ends
// at its closing quote on the same line. Each tag is read once, so two tags
// on a line are two references and the scan is linear in the text.
std::vector<SliceReference> FindReferences(std::string_view slice_code);

// The second reading, for exports the table scan misses (capital tags, a
// slice table inside layout tables, images in <div>s, tags without width):
// the part of the slice code inside the first table found without regard
// to case, up to the end tag that closes it, nested tables counted; empty
// when there is no such table. A view into `slice_code`.
std::string_view OutermostTable(std::string_view slice_code);
// The src value of every <img> tag in `region`, a view into `slice_code`,
// in document order: attributes in any order and case, over line breaks,
// in double, single or no quotes.
std::vector<SliceReference> ImageTagReferences(std::string_view slice_code,
                                               std::string_view region);

// The references both runs work on: those of the table scan; when it finds
// none, the <img> sources with "_" and a SliceSuffix in the outermost table,
// or when that has none, in the whole slice code.
std::vector<SliceReference> FindSliceReferences(RegexObject& regex, std::string_view slice_code);

// The 0-based offset where the file name of a path begins, behind its last
// "\" or "/" (never the second byte of a two-byte character).
std::size_t FileNameOffset(std::string_view path);

// The sequence number, the dot and the whole extension at the end of the
// file name of `path` ("01.jpg", "001.png", "01.jpeg"): the first match of
// kSuffixPattern in the file name, never in a folder name; empty when there
// is none.
Text SliceSuffixOf(RegexObject& regex, const Text& path);
// The path less its SliceSuffix: the folder and the file-name stem every
// slice shares ("D:\shop\images\shop_" of "D:\shop\images\shop_03.jpg").
// A path without a SliceSuffix stays as it is.
Text SliceStemOf(RegexObject& regex, const Text& path);

// One link of the link list: the line without the blanks at its ends.
struct LinkLine {
  Text link;
  std::size_t line = 0;  // 0-based number of its line in the list
};

struct LinkLines {
  std::vector<LinkLine> links;  // in list order
  int not_links = 0;            // lines that are neither blank nor a link
};

// The list split at CR LF (as SplitLines does). Each line is taken without
// spaces, tabs and full-width spaces at its ends; a line that is then empty
// is passed over, and one that does not start with http://, https:// or //
// (in any letter case) is no link: it is counted and left alone.
LinkLines ReadLinkLines(std::string_view list);

// The list without the lines whose numbers `used` holds (ascending), each
// with its own line break; every other byte stays as it was.
Text WithoutLines(std::string_view list, const std::vector<std::size_t>& used);

}  // namespace qm
