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

  // Reads attributes up to the tag's ">"; the value of the first `name`
  // attribute (lower case) goes into `value`. Leaves the reader behind the
  // tag.
  bool Find(std::string_view name, Text& value) {
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
        value = Text(read);
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
    return text_.substr(start, std::min(at_, text_.size()) - start);
  }

  std::string_view text_;
  std::size_t at_;
};

constexpr std::string_view kTableOpen = "<table";
constexpr std::string_view kTableClose = "</table";
constexpr std::string_view kImageOpen = "<img";

}  // namespace

Text TableBody(const Text& slice_code) {
  return TextBetween(slice_code, "<table", "</table>", 0, false);
}

std::vector<Text> FindReferences(RegexObject& regex, const Text& table_body) {
  std::vector<Text> sources;
  regex.Search(kSourcePattern, table_body);
  const int count = regex.MatchCount();
  for (int i = 1; i <= count; ++i) {
    Text capture = regex.SubMatchText(i, 1);
    if (Find(capture, "_", 1) == kNotFound) continue;
    sources.push_back(std::move(capture));
  }
  return sources;
}

Text SliceSuffixOf(RegexObject& regex, const Text& text) {
  regex.Search(kSuffixPattern, text);
  return regex.MatchText(1);
}

Text OutermostTable(std::string_view code) {
  const std::size_t open = NextTag(code, kTableOpen, 0);
  if (open == std::string_view::npos) return {};
  const std::size_t begin = open + kTableOpen.size();
  int depth = 1;
  std::size_t at = begin;
  while (depth > 0) {
    const std::size_t inner = NextTag(code, kTableOpen, at);
    const std::size_t close = NextTag(code, kTableClose, at);
    if (close == std::string_view::npos) return Text(code.substr(begin));  // never closed
    if (inner < close) {
      ++depth;
      at = inner + kTableOpen.size();
      continue;
    }
    if (--depth == 0) return Text(code.substr(begin, close - begin));
    at = close + kTableClose.size();
  }
  return {};
}

std::vector<Text> ImageTagSources(std::string_view text) {
  std::vector<Text> sources;
  for (std::size_t at = NextTag(text, kImageOpen, 0); at != std::string_view::npos;) {
    TagReader tag(text, at + kImageOpen.size());
    Text source;
    if (tag.Find("src", source)) sources.push_back(std::move(source));
    at = NextTag(text, kImageOpen, tag.Offset());
  }
  return sources;
}

std::vector<Text> FindSliceSources(RegexObject& regex, const Text& slice_code) {
  std::vector<Text> sources = FindReferences(regex, TableBody(slice_code));
  if (!sources.empty()) return sources;
  for (const Text& region : {OutermostTable(slice_code), slice_code}) {
    for (Text& source : ImageTagSources(region)) {
      if (Find(source, "_", 1) == kNotFound || SliceSuffixOf(regex, source).empty()) continue;
      sources.push_back(std::move(source));
    }
    if (!sources.empty()) break;
  }
  return sources;
}

}  // namespace qm
