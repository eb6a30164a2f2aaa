#include "engine/scanning.h"

#include <algorithm>

namespace qm {
namespace {

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Whether a tag name that matched at `end` really ends there (so "<tablex"
// and "<imgs" are not taken for "<table" and "<img").
bool TagNameEnds(std::string_view text, std::size_t end) {
  return end >= text.size() || IsSpace(text[end]) || text[end] == '>' || text[end] == '/';
}

// The 0-based offset of the next tag `name` (written in lower case, "<" and
// all) at or after `from`, compared without regard to case; npos for none.
std::size_t NextTag(std::string_view text, std::string_view name, std::size_t from) {
  while (from < text.size()) {
    const int at = FindFolded(text, name, static_cast<int>(from) + 1);
    if (at == kNotFound) break;
    const std::size_t offset = static_cast<std::size_t>(at) - 1;
    if (TagNameEnds(text, offset + name.size())) return offset;
    from = offset + name.size();
  }
  return std::string_view::npos;
}

class TagReader {
 public:
  TagReader(std::string_view text, std::size_t at) : text_(text), at_(at) {}

  // Reads attributes up to the tag's ">" and leaves the reader behind the
  // tag. The value of the first `name` attribute (lower case), a view into
  // the text, goes into `value`; true when there was one.
  bool Find(std::string_view name, std::string_view& value) {
    bool found = false;
    for (;;) {
      SkipSpaceAndSlashes();
      if (at_ >= text_.size()) break;
      if (text_[at_] == '>') {
        ++at_;
        break;
      }
      const std::string_view attribute = Name();
      SkipSpace();
      if (at_ >= text_.size() || text_[at_] != '=') continue;
      ++at_;
      SkipSpace();
      const std::string_view read = Value();
      if (!found && EqualsFolded(attribute, name)) {
        value = read;
        found = true;
      }
    }
    return found;
  }

  std::size_t Offset() const { return at_; }

 private:
  static bool EqualsFolded(std::string_view a, std::string_view lower) {
    return a.size() == lower.size() && StartsWithNoCase(a, lower);
  }
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

constexpr std::string_view kTableOpen = "<table";
constexpr std::string_view kTableClose = "</table";
constexpr std::string_view kImageOpen = "<img";

constexpr std::string_view kSourceOpen = "src=\"";
constexpr char kFullWidthSpace[] = "\xA1\xA1";  // GBK

// Where the value of a src="..." at `at` ends: its closing quote on the
// same line, or npos when the line ends first.
std::size_t ClosingQuote(std::string_view text, std::size_t at) {
  for (; at < text.size(); at += CharLength(text, at)) {
    if (text[at] == '"') return at;
    if (text[at] == '\n') break;
  }
  return std::string_view::npos;
}

// An attribute name starts behind a blank, a quote or a slash: "data-src"
// is no src. (None of them is ever the second byte of a character.)
bool StartsAttribute(std::string_view text, std::size_t at) {
  if (at == 0) return true;
  const char before = text[at - 1];
  return IsSpace(before) || before == '"' || before == '\'' || before == '/';
}

bool HasUnderscore(std::string_view source) {
  return Find(source, "_", 1) != kNotFound;
}

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
// break behind it, as SplitLines splits.
struct LineSpan {
  std::size_t begin, end, next;
};

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t piece = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      visit(LineSpan{piece, at, at + 2});
      at += 2;
      piece = at;
      continue;
    }
    at += CharLength(text, at);
  }
  if (piece < text.size()) visit(LineSpan{piece, text.size(), text.size()});
}

}  // namespace

Text TableBody(const Text& slice_code) {
  return TextBetween(slice_code, "<table", "</table>", 0, false);
}

std::vector<SliceReference> FindReferences(std::string_view code) {
  std::vector<SliceReference> references;
  const int open = Find(code, "<table", 1);
  if (open == kNotFound) return references;
  const std::size_t begin = static_cast<std::size_t>(open) - 1 + kTableOpen.size();
  const int close = Find(code, "</table>", static_cast<int>(begin) + 1);
  if (close == kNotFound) return references;
  // The scan stops where the table body ends.
  const std::string_view body = code.substr(0, static_cast<std::size_t>(close) - 1);
  std::size_t at = begin;
  while (at < body.size()) {
    const int found = FindFolded(body, kSourceOpen, static_cast<int>(at) + 1);
    if (found == kNotFound) break;
    const std::size_t name = static_cast<std::size_t>(found) - 1;
    const std::size_t value = name + kSourceOpen.size();
    const std::size_t quote = ClosingQuote(body, value);
    if (!StartsAttribute(body, name) || quote == std::string_view::npos) {
      at = value;
      continue;
    }
    TagReader rest(body, quote + 1);
    std::string_view width;
    const bool has_width = rest.Find("width", width);
    at = rest.Offset();
    const std::string_view source = body.substr(value, quote - value);
    if (has_width && HasUnderscore(source)) references.push_back({value, Text(source)});
  }
  return references;
}

Text WithContents(std::string_view slice_code, const std::vector<SliceReference>& references,
                  const std::vector<Text>& contents) {
  Text out;
  std::size_t grown = 0;
  for (const Text& content : contents) grown += content.size();
  out.reserve(slice_code.size() + grown);
  std::size_t copied = 0;
  for (std::size_t i = 0; i < references.size() && i < contents.size(); ++i) {
    const SliceReference& reference = references[i];
    out.append(slice_code.substr(copied, reference.offset - copied)).append(contents[i]);
    copied = reference.offset + reference.source.size();
  }
  return out.append(slice_code.substr(copied));
}

std::string_view OutermostTable(std::string_view code) {
  const std::size_t open = NextTag(code, kTableOpen, 0);
  if (open == std::string_view::npos) return {};
  const std::size_t begin = open + kTableOpen.size();
  int depth = 1;
  std::size_t at = begin;
  // Each tag found is used before the next one is looked for, so the text
  // is read once however deep the tables nest.
  std::size_t inner = NextTag(code, kTableOpen, at);
  std::size_t close = NextTag(code, kTableClose, at);
  while (close != std::string_view::npos) {
    if (inner < close) {
      ++depth;
      at = inner + kTableOpen.size();
      inner = NextTag(code, kTableOpen, at);
      continue;
    }
    if (--depth == 0) return code.substr(begin, close - begin);
    at = close + kTableClose.size();
    close = NextTag(code, kTableClose, at);
  }
  return code.substr(begin);  // never closed
}

std::vector<SliceReference> ImageTagReferences(std::string_view code, std::string_view region) {
  std::vector<SliceReference> references;
  const auto base = static_cast<std::size_t>(region.data() - code.data());
  for (std::size_t at = NextTag(region, kImageOpen, 0); at != std::string_view::npos;) {
    TagReader tag(region, at + kImageOpen.size());
    std::string_view source;
    if (tag.Find("src", source) && !source.empty()) {
      references.push_back(
          {base + static_cast<std::size_t>(source.data() - region.data()), Text(source)});
    }
    at = NextTag(region, kImageOpen, tag.Offset());
  }
  return references;
}

std::vector<SliceReference> FindSliceReferences(RegexObject& regex, std::string_view code) {
  std::vector<SliceReference> references = FindReferences(code);
  if (!references.empty()) return references;
  for (const std::string_view region : {OutermostTable(code), code}) {
    if (region.empty()) continue;
    for (SliceReference& reference : ImageTagReferences(code, region)) {
      if (!HasUnderscore(reference.source) || SliceSuffixOf(regex, reference.source).empty()) {
        continue;
      }
      references.push_back(std::move(reference));
    }
    if (!references.empty()) break;
  }
  return references;
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
