// How both replacement runs read their inputs: the slice references of the
// mark-up, each with the place where its path stands, the slice files they
// name and the other places that name those files, the numbered file-name
// ending, and the lines of the link list.
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

// One slice reference: a path in the slice mark-up that names a slice
// file, and where it stands. A run replaces exactly these bytes.
enum class ReferenceKind {
  kImageSource,  // the src of an <img> or <input type="image">
  kBackground,   // the background attribute of a cell, row, table or body
};

struct SliceReference {
  std::size_t offset = 0;  // 0-based byte offset of the path in the slice code
  Text source;             // the path as written
  ReferenceKind kind = ReferenceKind::kImageSource;
};

// Whether the file name of `path` ends, before its extension, in a slice
// number: "_" and two or three digits ("_01", "_001") or a row and column
// ("_r1_c2"). The extension has three characters or more, none of them a
// digit, a blank, a dot or the start of a query.
bool CarriesSliceNumber(std::string_view path);
// Whether the file name is a row and column one ("index_r2_c3.jpg").
bool IsRowColumnName(std::string_view path);

// Every slice reference of the whole code, in document order, inside
// tables (nested or not) and outside them: the src of each <img> (and
// <input type="image">) whose tag has a width attribute anywhere or whose
// file name carries a slice number, and each background attribute whose
// file name carries one. Attribute and tag names in any case; values in
// double, single or no quotes; tags may wrap over lines. A path holds "_"
// and no line break, and is no web address (http:, https:, //, data:).
// The contents of <script> and <style> are no tags. Linear in the text.
std::vector<SliceReference> FindReferences(std::string_view slice_code);

// Two paths name the same file when they are equal with "\" taken as "/"
// and the ASCII letters folded, as Windows file names are: this key.
Text SameFileKey(std::string_view path);

// A slice file: named by one or more references, in document order.
struct SliceFile {
  Text source;                          // as its first reference writes it
  std::vector<std::size_t> references;  // indices into the references
};

// A picture a rollover shows in a slice's place while the pointer is over
// it or it is pressed: named by no reference, only by scripts, actions and
// style rules, after its slice file with the state behind the name, as the
// slicing tools save them ("index_r2_c2_f2.jpg", "index_03-over.gif").
// A local path in the shop is a broken picture, so the runs treat it as
// the slice files' own.
struct RolloverFile {
  Text source;            // as its first place writes it
  std::size_t slice = 0;  // the slice file it is a state of
};

// A place other than a reference where the code names a slice file or a
// rollover picture as a whole value: an attribute value, a url(...) in a
// style, a quoted string in a script. It gets the file's text, but takes no
// link of its own.
struct FilePlace {
  std::size_t offset = 0;
  std::size_t length = 0;
  // Index into the files, then on into the rollovers: file k at or beyond
  // files.size() is rollovers[k - files.size()].
  std::size_t file = 0;
};

// The slice code as both runs read it: its references, the files they
// name in the order of each file's first reference, the rollover pictures
// in the order of each one's first place, and the other places that name
// either.
struct SliceCodeReading {
  std::vector<SliceReference> references;
  std::vector<SliceFile> files;
  std::vector<RolloverFile> rollovers;
  std::vector<FilePlace> places;  // in document order, overlapping no reference

  // The files as places number them: the slice files, then the rollovers.
  std::size_t NumberedFiles() const { return files.size() + rollovers.size(); }
  const Text& SourceOf(std::size_t file) const {
    return file < files.size() ? files[file].source : rollovers[file - files.size()].source;
  }
};

// The path of the slice file `path` would be a rollover state of, were
// there such a slice: `path` less "_f" and one or two digits, or "-" and two
// to ten ASCII letters, at the end of its file name before the extension;
// empty when the name ends in no state.
Text RolloverSlicePath(std::string_view path);

SliceCodeReading ReadSliceCode(std::string_view slice_code);

// The slice code with every reference and place of file k replaced by
// contents[k] (rollovers numbered on behind the files, as in FilePlace);
// files beyond the contents keep their text, and the bytes between stay as
// they are. Linear in the text.
Text WithFileContents(std::string_view slice_code, const SliceCodeReading& reading,
                      const std::vector<Text>& contents);

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

// The list split into lines at CR LF, at a lone LF and at a lone CR: lists
// copied from elsewhere end their lines either way. Each line is taken without
// spaces, tabs and full-width spaces at its ends; a line that is then empty
// is passed over, and one that does not start with http://, https:// or //
// (in any letter case) is no link: it is counted and left alone.
LinkLines ReadLinkLines(std::string_view list);

// The list without the lines whose numbers `used` holds (ascending), each
// with its own line break; every other byte stays as it was.
Text WithoutLines(std::string_view list, const std::vector<std::size_t>& used);

}  // namespace qm
