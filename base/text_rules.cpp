#include "base/text_rules.h"

#include <limits>

namespace qm {
namespace {

// Finds occurrences of the needle in character order from byte offset
// `from`. Knuth-Morris-Pratt reports every byte occurrence in one pass; a
// walker that steps whole characters keeps only those at a character start.
// `accept` receives the 0-based offset of each such occurrence and returns
// the offset where stepping resumes, or npos to stop.
class CharAlignedMatcher {
 public:
  CharAlignedMatcher(std::string_view needle, bool fold) : needle_(needle), fold_(fold) {
    failure_.assign(needle.size() + 1, 0);
    std::size_t k = 0;
    for (std::size_t i = 1; i < needle.size(); ++i) {
      while (k > 0 && At(needle, i) != At(needle, k)) k = failure_[k];
      if (At(needle, i) == At(needle, k)) ++k;
      failure_[i + 1] = k;
    }
  }

  template <typename Accept>
  void Run(std::string_view text, std::size_t from, Accept accept) const {
    const std::size_t m = needle_.size();
    if (m == 0 || from >= text.size()) return;
    std::size_t walker = from;  // the next character start at or after `from`
    std::size_t k = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
      while (k > 0 && At(text, i) != At(needle_, k)) k = failure_[k];
      if (At(text, i) == At(needle_, k)) ++k;
      if (k < m) continue;
      k = failure_[k];
      std::size_t start = i + 1 - m;
      while (walker < start) walker += CharLength(text, walker);
      if (walker != start) continue;
      walker = accept(start);
      if (walker == std::string_view::npos) return;
    }
  }

 private:
  unsigned char At(std::string_view s, std::size_t i) const {
    auto c = static_cast<unsigned char>(s[i]);
    return fold_ ? FoldAscii(c) : c;
  }

  std::string_view needle_;
  bool fold_;
  std::vector<std::size_t> failure_;
};

int FindFrom(std::string_view text, std::string_view needle, int start, bool fold) {
  std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  int found = kNotFound;
  CharAlignedMatcher(needle, fold).Run(text, from, [&](std::size_t at) {
    found = static_cast<int>(at) + 1;
    return std::string_view::npos;
  });
  return found;
}

}  // namespace

int Find(std::string_view text, std::string_view needle, int start) {
  return FindFrom(text, needle, start, false);
}

int FindFolded(std::string_view text, std::string_view needle, int start) {
  return FindFrom(text, needle, start, true);
}

Text ReplaceFirst(std::string_view text, std::string_view needle, std::string_view replacement) {
  int at = FindFolded(text, needle, 1);
  if (at == kNotFound) return Text(text);
  std::size_t offset = static_cast<std::size_t>(at) - 1;
  Text out;
  out.reserve(text.size() - needle.size() + replacement.size());
  out.append(text.substr(0, offset))
      .append(replacement)
      .append(text.substr(offset + needle.size()));
  return out;
}

Text ReplaceAll(std::string_view text, std::string_view needle, std::string_view replacement) {
  Text out;
  std::size_t copied = 0;
  CharAlignedMatcher(needle, false).Run(text, 0, [&](std::size_t at) {
    out.append(text.substr(copied, at - copied)).append(replacement);
    copied = at + needle.size();
    return copied;
  });
  out.append(text.substr(copied));
  return out;
}

std::vector<Text> SplitLines(std::string_view text) {
  std::vector<Text> lines;
  std::size_t piece = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      lines.emplace_back(text.substr(piece, at - piece));
      at += 2;
      piece = at;
      continue;
    }
    at += CharLength(text, at);
  }
  if (piece < text.size()) lines.emplace_back(text.substr(piece));
  return lines;
}

Text TextBetween(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                 int start_position, bool case_insensitive) {
  static constexpr std::string_view kQuoteToken = "#引号";
  Text start = ReplaceAll(start_marker, kQuoteToken, "\"");
  Text end = ReplaceAll(end_marker, kQuoteToken, "\"");
  auto find = case_insensitive ? FindFolded : Find;

  int p = find(text, start, start_position == 0 ? 1 : start_position);
  if (p == kNotFound) return {};
  p += static_cast<int>(start.size());
  int q = find(text, end, p);
  if (q == kNotFound || q <= p) return {};
  return Text(text.substr(static_cast<std::size_t>(p) - 1, static_cast<std::size_t>(q - p)));
}

}  // namespace qm
