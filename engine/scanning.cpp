#include "engine/scanning.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>

namespace qm {
namespace {

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// One attribute of a tag as it is written.
struct Attribute {
  std::string_view name;
  std::string_view value;  // a view into the text; empty without "="
  bool quoted = false;
};

// Reads a tag's attributes, from behind its name up to its ">".
class TagReader {
 public:
  TagReader(std::string_view text, std::size_t at) : text_(text), at_(at) {}

  // The next attribute; false at the tag's end, with the reader behind it.
  bool Next(Attribute& attribute) {
    for (;;) {
      SkipSpaceAndSlashes();
      if (at_ >= text_.size()) return false;
      if (text_[at_] == '>') {
        ++at_;
        return false;
      }
      attribute = Attribute{Name(), {}, false};
      SkipSpace();
      if (at_ >= text_.size() || text_[at_] != '=') return true;
      ++at_;
      SkipSpace();
      attribute.quoted = at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\'');
      attribute.value = Value();
      return true;
    }
  }

  std::size_t Offset() const { return at_; }

 private:
  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  void SkipSpaceAndSlashes() {
    while (at_ < text_.size() && (IsSpace(text_[at_]) || text_[at_] == '/')) ++at_;
  }
  // Always takes at least one character unless it stands at "=" or ">".
  std::string_view Name() {
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '=' && text_[at_] != '>' &&
           text_[at_] != '/') {
      at_ += CharLength(text_, at_);
    }
    at_ = std::min(at_, text_.size());
    if (at_ == start && at_ < text_.size() && text_[at_] != '=' && text_[at_] != '>') ++at_;
    return text_.substr(start, at_ - start);
  }
  std::string_view Value() {
    if (at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\'')) {
      const char quote = text_[at_++];
      const std::size_t start = at_;
      const std::size_t end = std::min(text_.find(quote, at_), text_.size());
      at_ = std::min(end + 1, text_.size());
      return text_.substr(start, end - start);
    }
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '>') {
      at_ += CharLength(text_, at_);
    }
    at_ = std::min(at_, text_.size());
    return text_.substr(start, at_ - start);
  }

  std::string_view text_;
  std::size_t at_;
};

bool EqualsFolded(std::string_view a, std::string_view lower) {
  return a.size() == lower.size() && StartsWithNoCase(a, lower);
}

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Stepping character by character: the second byte of one may be "_".
bool HasUnderscore(std::string_view source) {
  for (std::size_t at = 0; at < source.size(); at += CharLength(source, at)) {
    if (source[at] == '_') return true;
  }
  return false;
}

// What a browser would fetch from elsewhere: never a local slice file.
bool IsWebAddress(std::string_view value) {
  return StartsWithNoCase(value, "http:") || StartsWithNoCase(value, "https:") ||
         value.starts_with("//") || StartsWithNoCase(value, "data:");
}

// A path of a local slice file, as far as its own text tells.
bool IsLocalPath(std::string_view value) {
  return !value.empty() && HasUnderscore(value) && !IsWebAddress(value) &&
         value.find_first_of("\r\n") == std::string_view::npos;
}

// The file name of a path without a query or fragment behind it.
std::string_view BareFileName(std::string_view path) {
  const std::string_view name = path.substr(FileNameOffset(path));
  return name.substr(0, std::min(name.find_first_of("?#"), name.size()));
}

// The extension of a slice file: three characters or more, none a digit, a
// blank or a dot. `name` has no query; the stem before the dot is returned.
bool SplitExtension(std::string_view name, std::string_view& stem) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::size_t characters = 0;
  for (std::size_t at = dot + 1; at < name.size(); at += CharLength(name, at)) {
    if (IsDigit(name[at]) || IsSpace(name[at])) return false;
    ++characters;
  }
  stem = name.substr(0, dot);
  return characters >= 3;
}

// How many digits end `text` before `end`.
std::size_t DigitsBefore(std::string_view text, std::size_t end) {
  std::size_t start = end;
  while (start > 0 && IsDigit(text[start - 1])) --start;
  return end - start;
}

// Whether an underscore stands at `at`, not the second byte of a character
// (digits never are one, an underscore may be).
bool UnderscoreAt(std::string_view text, std::size_t at) {
  if (text[at] != '_') return false;
  std::size_t start = 0;
  while (start < at) start += CharLength(text, start);
  return start == at;
}

// "_r" digits "_c" digits at the end of the stem, letters in any case.
bool EndsInRowAndColumn(std::string_view stem) {
  std::size_t end = stem.size();
  const std::size_t column = DigitsBefore(stem, end);
  if (column == 0 || end < column + 2) return false;
  end -= column;
  if ((stem[end - 1] | 0x20) != 'c' || !UnderscoreAt(stem, end - 2)) return false;
  end -= 2;
  const std::size_t row = DigitsBefore(stem, end);
  if (row == 0 || end < row + 2) return false;
  end -= row;
  return (stem[end - 1] | 0x20) == 'r' && UnderscoreAt(stem, end - 2);
}

bool EndsInSequenceNumber(std::string_view stem) {
  const std::size_t digits = DigitsBefore(stem, stem.size());
  return (digits == 2 || digits == 3) && stem.size() > digits &&
         UnderscoreAt(stem, stem.size() - digits - 1);
}

constexpr std::string_view kScriptEnd = "</script";
constexpr std::string_view kStyleEnd = "</style";

// The tag names whose content is text, not mark-up, and where it ends.
std::string_view RawTextEnd(std::string_view tag) {
  if (EqualsFolded(tag, "script")) return kScriptEnd;
  if (EqualsFolded(tag, "style")) return kStyleEnd;
  return {};
}

// One pass over the tags of the code: the references, and the bare
// attribute values, which may name a slice file elsewhere.
class TagScan {
 public:
  explicit TagScan(std::string_view code) : code_(code) {}

  void Run() {
    std::size_t at = 0;
    while ((at = code_.find('<', at)) != std::string_view::npos) {
      std::size_t end = at + 1;
      while (end < code_.size() && IsAsciiLetterOrDigit(code_[end])) ++end;
      const std::string_view name = code_.substr(at + 1, end - at - 1);
      if (name.empty() || IsDigit(name[0])) {
        ++at;
        continue;
      }
      at = ReadTag(name, end);
      const std::string_view raw_end = RawTextEnd(name);
      if (raw_end.empty()) continue;
      const int close = FindFolded(code_, raw_end, static_cast<int>(at) + 1);
      at = close == kNotFound ? code_.size() : static_cast<std::size_t>(close) - 1;
    }
  }

  std::vector<SliceReference> references;
  std::vector<std::string_view> bare_values;

 private:
  // Reads the tag whose attributes start at `at`; returns where it ends.
  std::size_t ReadTag(std::string_view name, std::size_t at) {
    TagReader reader(code_, at);
    Attribute attribute;
    std::optional<Attribute> source, background;
    bool width = false, image_input = false;
    while (reader.Next(attribute)) {
      if (!attribute.quoted && !attribute.value.empty()) bare_values.push_back(attribute.value);
      if (EqualsFolded(attribute.name, "src")) {
        if (!source) source = attribute;
      } else if (EqualsFolded(attribute.name, "background")) {
        if (!background) background = attribute;
      } else if (EqualsFolded(attribute.name, "width")) {
        width = true;
      } else if (EqualsFolded(attribute.name, "type")) {
        image_input = EqualsFolded(attribute.value, "image");
      }
    }
    const bool image = EqualsFolded(name, "img") || (EqualsFolded(name, "input") && image_input);
    std::optional<SliceReference> from_source, from_background;
    if (image && source && IsLocalPath(source->value) &&
        (width || CarriesSliceNumber(source->value))) {
      from_source = Reference(source->value, ReferenceKind::kImageSource);
    }
    if (background && IsLocalPath(background->value) && CarriesSliceNumber(background->value)) {
      from_background = Reference(background->value, ReferenceKind::kBackground);
    }
    // In the order they stand in the tag.
    if (from_background && from_source && from_source->offset < from_background->offset) {
      std::swap(from_source, from_background);
    }
    for (std::optional<SliceReference>* reference : {&from_background, &from_source}) {
      if (*reference) references.push_back(std::move(**reference));
    }
    return reader.Offset();
  }

  SliceReference Reference(std::string_view value, ReferenceKind kind) const {
    return {static_cast<std::size_t>(value.data() - code_.data()), Text(value), kind};
  }

  std::string_view code_;
};

// Appends the key of SameFileKey.
void AppendSameFileKey(std::string_view path, Text& key) {
  key.reserve(key.size() + path.size());
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t length = std::min(CharLength(path, at), path.size() - at);
    if (length == 1) {
      key += path[at] == '\\' ? '/'
                              : static_cast<char>(FoldAscii(static_cast<unsigned char>(path[at])));
    } else {
      key.append(path.substr(at, length));
    }
    at += length;
  }
}

// The slice files by their keys (SameFileKey). The keys live in one text
// made large enough for all of them at the start, so the views into it
// stay put, and a reference or a value costs no text of its own.
class FileKeys {
 public:
  explicit FileKeys(const std::vector<SliceReference>& references) {
    std::size_t bytes = 0;
    for (const SliceReference& reference : references) bytes += reference.source.size();
    keys_.reserve(bytes);
    index_.reserve(references.size());
  }

  // The file `path` names, numbered `next` when it names none so far; and
  // whether it is new.
  std::pair<std::size_t, bool> Add(std::string_view path, std::size_t next) {
    const std::size_t start = keys_.size();
    AppendSameFileKey(path, keys_);
    const std::string_view key(keys_.data() + start, keys_.size() - start);
    const auto [entry, added] = index_.emplace(key, next);
    if (!added) {
      keys_.resize(start);
      return {entry->second, false};
    }
    shortest_ = std::min(shortest_, key.size());
    longest_ = std::max(longest_, key.size());
    return {next, true};
  }

  // Whether a value of `length` bytes may name a file with a state of at
  // most `state` bytes behind its name: the quick test before the slow one.
  bool MayBeStateOf(std::size_t length, std::size_t state) const {
    return length > shortest_ && length <= longest_ + state;
  }

  // The file `value` names as a whole, or npos.
  std::size_t FileOf(std::string_view value) {
    if (value.size() < shortest_ || value.size() > longest_) return std::string_view::npos;
    AppendSameFileKey(value, probe_.erase());
    const auto found = index_.find(probe_);
    return found == index_.end() ? std::string_view::npos : found->second;
  }

 private:
  Text keys_;
  Text probe_;  // the key looked up last, kept for its memory
  std::unordered_map<std::string_view, std::size_t> index_;
  std::size_t shortest_ = std::numeric_limits<std::size_t>::max();
  std::size_t longest_ = 0;
};

std::string_view TrimSpace(std::string_view value) {
  while (!value.empty() && IsSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsSpace(value.back())) value.remove_suffix(1);
  return value;
}

// Every stretch of the code that may be a whole value: between two
// neighbouring double quotes, between two neighbouring single quotes
// (which holds every quoted attribute value and every quoted string of a
// script), between "(" and the next ")" (a style's url(...)), and each
// bare attribute value. Each quote and parenthesis opens at most one
// stretch, so the stretches add up to the text's length twice at most.
// None of these signs is ever the second byte of a character.
template <typename Visit>
void ForEachValue(std::string_view code, const std::vector<std::string_view>& bare_values,
                  Visit visit) {
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t double_quote = kNone, single_quote = kNone, parenthesis = kNone;
  for (std::size_t at = 0; at < code.size(); ++at) {
    switch (code[at]) {
      case '"':
        if (double_quote != kNone) visit(code.substr(double_quote + 1, at - double_quote - 1));
        double_quote = at;
        break;
      case '\'':
        if (single_quote != kNone) visit(code.substr(single_quote + 1, at - single_quote - 1));
        single_quote = at;
        break;
      case '(':
        parenthesis = at;
        break;
      case ')':
        if (parenthesis != kNone)
          visit(TrimSpace(code.substr(parenthesis + 1, at - parenthesis - 1)));
        parenthesis = kNone;
        break;
      default:
        break;
    }
  }
  for (std::string_view value : bare_values) visit(value);
}

std::vector<SliceFile> FilesOf(const std::vector<SliceReference>& references, FileKeys& keys) {
  std::vector<SliceFile> files;
  files.reserve(references.size());
  for (std::size_t i = 0; i < references.size(); ++i) {
    const auto [file, added] = keys.Add(references[i].source, files.size());
    if (added) files.push_back({references[i].source, {}});
    files[file].references.push_back(i);
  }
  return files;
}

bool IsAsciiLetter(char c) {
  return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// How long the rollover state at the end of `stem` is ("_f2", "-over"), or
// 0; a name must stand before it. "-" is never the second byte of a GBK
// character, "_" may be one.
std::size_t StateLength(std::string_view stem) {
  const std::size_t digits = DigitsBefore(stem, stem.size());
  if (digits == 1 || digits == 2) {
    if (stem.size() < digits + 3) return 0;
    const std::size_t f = stem.size() - digits - 1;
    const bool frame = (stem[f] | 0x20) == 'f' && UnderscoreAt(stem, f - 1);
    return frame ? digits + 2 : 0;
  }
  std::size_t letters = 0;
  while (letters < stem.size() && IsAsciiLetter(stem[stem.size() - 1 - letters])) ++letters;
  if (letters < 2 || letters > 10 || letters + 1 >= stem.size()) return 0;
  return stem[stem.size() - letters - 1] == '-' ? letters + 1 : 0;
}

// The longest state StateLength takes.
constexpr std::size_t kLongestState = 11;

// Where a state value found in one pass stands before it has its number.
constexpr std::size_t kUnnumbered = std::numeric_limits<std::size_t>::max();

// The places that name a file or a rollover picture, less those that are
// or overlap a reference or an earlier place; the rollover pictures, each
// once, in the order of their first place.
void ReadPlaces(std::string_view code, const TagScan& scan, FileKeys& keys,
                SliceCodeReading& reading) {
  // A reference's own quotes hold it: no need to look it up again.
  std::vector<bool> reference_starts(code.size() + 1);
  for (const SliceReference& reference : scan.references) reference_starts[reference.offset] = true;
  std::vector<FilePlace> found;
  ForEachValue(code, scan.bare_values, [&](std::string_view value) {
    const auto offset = static_cast<std::size_t>(value.data() - code.data());
    if (reference_starts[offset]) return;
    if (const std::size_t file = keys.FileOf(value); file != std::string_view::npos) {
      found.push_back({offset, value.size(), file});
      return;
    }
    if (!keys.MayBeStateOf(value.size(), kLongestState) || !IsLocalPath(value)) return;
    const Text slice = RolloverSlicePath(value);
    if (!slice.empty() && keys.FileOf(slice) != std::string_view::npos) {
      found.push_back({offset, value.size(), kUnnumbered});
    }
  });
  std::sort(found.begin(), found.end(),
            [](const FilePlace& a, const FilePlace& b) { return a.offset < b.offset; });
  std::unordered_map<Text, std::size_t> rollover_numbers;
  std::size_t behind = 0;  // the end of the last reference or place kept
  auto reference = scan.references.begin();
  for (FilePlace place : found) {
    while (reference != scan.references.end() && reference->offset < place.offset + place.length) {
      behind = std::max(behind, reference->offset + reference->source.size());
      ++reference;
    }
    if (place.offset < behind) continue;
    if (place.file == kUnnumbered) {
      const std::string_view value = code.substr(place.offset, place.length);
      const auto [entry, added] =
          rollover_numbers.emplace(SameFileKey(value), reading.NumberedFiles());
      if (added) reading.rollovers.push_back({Text(value), keys.FileOf(RolloverSlicePath(value))});
      place.file = entry->second;
    }
    reading.places.push_back(place);
    behind = place.offset + place.length;
  }
}

constexpr char kFullWidthSpace[] = "\xA1\xA1";  // GBK

// A blank at the ends of a link line: space, tab, a stray CR or LF, or the
// full-width space.
std::size_t BlankLength(std::string_view text, std::size_t at) {
  if (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n') return 1;
  return text.substr(at, 2) == kFullWidthSpace ? 2 : 0;
}

Text TrimBlanks(std::string_view line) {
  std::size_t begin = 0;
  std::size_t end = 0;  // behind the last character that is no blank
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t blank = BlankLength(line, at);
    const std::size_t step = blank ? blank : CharLength(line, at);
    if (!blank) {
      if (end == 0) begin = at;
      end = at + step;
    }
    at += step;
  }
  return end == 0 ? Text() : Text(line.substr(begin, std::min(end, line.size()) - begin));
}

bool IsLink(std::string_view text) {
  return IsWebLink(text) || text.starts_with("//");
}

// Each line of the list with its own line break: [begin, end) and the
// break behind it: CR LF, a lone LF or a lone CR. Neither is ever the
// second byte of a character.
struct LineSpan {
  std::size_t begin, end, next;
};

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t piece = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\r' && text[at] != '\n') continue;
    const std::size_t next =
        text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? at + 2 : at + 1;
    visit(LineSpan{piece, at, next});
    piece = next;
    at = next - 1;
  }
  if (piece < text.size()) visit(LineSpan{piece, text.size(), text.size()});
}

}  // namespace

bool CarriesSliceNumber(std::string_view path) {
  std::string_view stem;
  if (!SplitExtension(BareFileName(path), stem)) return false;
  return EndsInSequenceNumber(stem) || EndsInRowAndColumn(stem);
}

bool IsRowColumnName(std::string_view path) {
  std::string_view stem;
  return SplitExtension(BareFileName(path), stem) && EndsInRowAndColumn(stem);
}

std::vector<SliceReference> FindReferences(std::string_view code) {
  TagScan scan(code);
  scan.Run();
  return std::move(scan.references);
}

Text RolloverSlicePath(std::string_view path) {
  const std::size_t name = FileNameOffset(path);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name) return {};
  const std::size_t state = StateLength(path.substr(name, dot - name));
  if (state == 0) return {};
  return Text(path.substr(0, dot - state)).append(path.substr(dot));
}

Text SameFileKey(std::string_view path) {
  Text key;
  AppendSameFileKey(path, key);
  return key;
}

SliceCodeReading ReadSliceCode(std::string_view code) {
  TagScan scan(code);
  scan.Run();
  SliceCodeReading reading;
  FileKeys keys(scan.references);
  reading.files = FilesOf(scan.references, keys);
  ReadPlaces(code, scan, keys, reading);
  reading.references = std::move(scan.references);
  return reading;
}

Text WithFileContents(std::string_view code, const SliceCodeReading& reading,
                      const std::vector<Text>& contents) {
  // Each reference and place with its file, in document order.
  struct Span {
    std::size_t offset, length, file;
  };
  std::vector<Span> spans;
  spans.reserve(reading.references.size() + reading.places.size());
  std::vector<std::size_t> file_of(reading.references.size());
  for (std::size_t k = 0; k < reading.files.size(); ++k) {
    for (std::size_t i : reading.files[k].references) file_of[i] = k;
  }
  auto place = reading.places.begin();
  const auto add_places_before = [&](std::size_t offset) {
    for (; place != reading.places.end() && place->offset < offset; ++place) {
      spans.push_back({place->offset, place->length, place->file});
    }
  };
  for (std::size_t i = 0; i < reading.references.size(); ++i) {
    const SliceReference& reference = reading.references[i];
    add_places_before(reference.offset);
    spans.push_back({reference.offset, reference.source.size(), file_of[i]});
  }
  add_places_before(code.size() + 1);

  std::size_t grown = 0;
  for (const Span& span : spans) {
    if (span.file < contents.size()) grown += contents[span.file].size();
  }
  Text out;
  out.reserve(code.size() + grown);
  std::size_t copied = 0;
  for (const Span& span : spans) {
    if (span.file >= contents.size()) continue;
    out.append(code.substr(copied, span.offset - copied)).append(contents[span.file]);
    copied = span.offset + span.length;
  }
  return out.append(code.substr(copied));
}

std::size_t FileNameOffset(std::string_view path) {
  std::size_t name = 0;
  for (std::size_t at = 0; at < path.size(); at += CharLength(path, at)) {
    if (path[at] == '\\' || path[at] == '/') name = at + 1;
  }
  return std::min(name, path.size());
}

Text SliceSuffixOf(RegexObject& regex, const Text& path) {
  regex.Search(kSuffixPattern, path.substr(FileNameOffset(path)));
  return regex.MatchText(1);
}

Text SliceStemOf(RegexObject& regex, const Text& path) {
  const std::size_t name = FileNameOffset(path);
  const Text suffix = SliceSuffixOf(regex, path);
  // The first place the match's text stands is where the match is: an
  // earlier one would have matched first.
  const int at = suffix.empty() ? kNotFound : Find(std::string_view(path).substr(name), suffix);
  if (at == kNotFound) return path;
  return path.substr(0, name + static_cast<std::size_t>(at) - 1) +
         path.substr(name + static_cast<std::size_t>(at) - 1 + suffix.size());
}

LinkLines ReadLinkLines(std::string_view list) {
  LinkLines lines;
  std::size_t number = 0;
  ForEachLine(list, [&](const LineSpan& span) {
    Text link = TrimBlanks(list.substr(span.begin, span.end - span.begin));
    if (IsLink(link)) {
      lines.links.push_back({std::move(link), number});
    } else if (!link.empty()) {
      ++lines.not_links;
    }
    ++number;
  });
  return lines;
}

Text WithoutLines(std::string_view list, const std::vector<std::size_t>& used) {
  Text kept;
  kept.reserve(list.size());
  std::size_t number = 0;
  auto next_used = used.begin();
  ForEachLine(list, [&](const LineSpan& span) {
    while (next_used != used.end() && *next_used < number) ++next_used;
    if (next_used == used.end() || *next_used != number) {
      kept.append(list.substr(span.begin, span.next - span.begin));
    }
    ++number;
  });
  return kept;
}

}  // namespace qm
