// One pass of the engine's text handling over untrusted bytes, the way the
// two runs apply it to a pasted mark-up, a link list and a chosen path;
// shared by the fuzzer and the test that replays its corpus. Where a text
// rule can be checked against a plain restatement of itself it is, and a
// broken rule aborts, so that the fuzzer reports it.
#pragma once

#include <cstdlib>
#include <string_view>

#include "base/text_rules.h"
#include "engine/scanning.h"
#include "regex/regex_object.h"

namespace qm::fuzz {

// The input is cut at its first three NUL bytes into the mark-up, the link
// list, the chosen path and a needle, which serves both as a search text
// and as a pattern.
struct TextInput {
  std::string_view markup, links, path, needle;
};

inline TextInput SplitTextInput(std::string_view data) {
  std::string_view parts[4];
  for (int i = 0; i < 3; ++i) {
    std::size_t nul = data.find('\0');
    parts[i] = data.substr(0, nul);
    data = nul == std::string_view::npos ? std::string_view() : data.substr(nul + 1);
  }
  parts[3] = data;
  return {parts[0], parts[1], parts[2], parts[3]};
}

inline void Require(bool rule) {
  if (!rule) std::abort();
}

inline bool SameFolded(std::string_view a, std::string_view b, bool fold) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (fold && x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (fold && y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Find and FindFolded restated: stepping character by character from byte
// position `start` on, the first place where the needle stands.
inline int PlainFind(std::string_view text, std::string_view needle, int start, bool fold) {
  if (needle.empty()) return kNotFound;
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  for (std::size_t at = from; at < text.size(); at += CharLength(text, at)) {
    if (SameFolded(text.substr(at, needle.size()), needle, fold)) {
      return static_cast<int>(at) + 1;
    }
  }
  return kNotFound;
}

// ReplaceAll restated: walk the characters, replacing each occurrence that
// starts on one and going on behind it.
inline Text PlainReplaceAll(std::string_view text, std::string_view needle,
                            std::string_view replacement) {
  if (needle.empty()) return Text(text);
  Text out;
  for (std::size_t at = 0; at < text.size();) {
    if (text.substr(at, needle.size()) == needle) {
      out.append(replacement);
      at += needle.size();
      continue;
    }
    std::size_t n = CharLength(text, at);
    out.append(text.substr(at, n));
    at += n;
  }
  return out;
}

inline void CheckTextRules(std::string_view text, std::string_view needle) {
  for (int start : {0, 1, 2, static_cast<int>(text.size() / 2), static_cast<int>(text.size())}) {
    Require(Find(text, needle, start) == PlainFind(text, needle, start, false));
    Require(FindFolded(text, needle, start) == PlainFind(text, needle, start, true));
  }
  Require(ReplaceAll(text, needle, "<>") == PlainReplaceAll(text, needle, "<>"));
  const Text first = ReplaceFirst(text, needle, "");
  const int at = FindFolded(text, needle, 1);
  Require(at == kNotFound ? first == text : first.size() + needle.size() == text.size());

  // The lines joined again give the text, less a line break at its end.
  Text joined;
  const std::vector<Text> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) joined.append(i ? "\r\n" : "").append(lines[i]);
  Require(joined == text || joined + "\r\n" == text);

  const Text between = TextBetween(text, needle, needle, 0, true);
  Require(between.empty() || text.find(between) != std::string_view::npos);
}

// The regex object with an arbitrary pattern over a piece of the text;
// every match and group index, also those out of range, may be asked for.
// One match only: an arbitrary pattern may match the empty text, and the
// platform engine as Wine provides it loops for ever on an empty match in
// global mode (the program's own patterns never match empty).
inline void CheckRegex(RegexObject& regex, std::string_view pattern, std::string_view subject) {
  constexpr std::size_t kPatternBytes = 32, kSubjectBytes = 1024;
  if (!regex.Search(Text(pattern.substr(0, kPatternBytes)), Text(subject.substr(0, kSubjectBytes)),
                    false, true, false, true)) {
    Require(regex.MatchCount() == 0);
    return;
  }
  const int count = regex.MatchCount();
  Require(count >= 0);
  for (int n = 0; n <= count + 1; ++n) {
    regex.MatchText(n);
    for (int j = 0; j <= 3; ++j) regex.SubMatchText(n, j);
  }
}

// The slice references and the link lines as both runs read them: each
// reference and each other place stands where it says, none overlaps
// another, every place names its file, replacing the files' places by
// texts of their own changes exactly those bytes, and taking out the lines
// of all links keeps exactly the other lines.
inline void CheckRunInputs(std::string_view markup, std::string_view links) {
  const SliceCodeReading reading = ReadSliceCode(markup);
  std::size_t behind = 0;
  for (const SliceReference& reference : reading.references) {
    Require(reference.offset >= behind && reference.offset <= markup.size());
    Require(markup.substr(reference.offset, reference.source.size()) == reference.source);
    Require(reference.source.find('_') != Text::npos);
    behind = reference.offset + reference.source.size();
  }
  // A text of each file's own: "<k>".
  std::vector<Text> contents;
  const auto add_content = [&] {
    // Appended piece by piece: GCC 12 warns falsely on "literal" + text.
    contents.push_back(Text("<").append(std::to_string(contents.size())).append(">"));
  };
  std::size_t replaced = 0, references = 0;
  for (const SliceFile& file : reading.files) {
    const Text key = SameFileKey(file.source);
    for (std::size_t i : file.references) {
      Require(SameFileKey(reading.references[i].source) == key);
      replaced += reading.references[i].source.size();
    }
    references += file.references.size();
    add_content();
  }
  Require(references == reading.references.size());
  for (const RolloverFile& rollover : reading.rollovers) {
    Require(rollover.slice < reading.files.size());
    Require(SameFileKey(RolloverSlicePath(rollover.source)) ==
            SameFileKey(reading.files[rollover.slice].source));
    add_content();
  }
  behind = 0;
  std::size_t grown = 0;
  for (const FilePlace& place : reading.places) {
    Require(place.offset >= behind && place.file < reading.NumberedFiles());
    Require(SameFileKey(markup.substr(place.offset, place.length)) ==
            SameFileKey(reading.SourceOf(place.file)));
    behind = place.offset + place.length;
    replaced += place.length;
    grown += contents[place.file].size();
  }
  for (const SliceFile& file : reading.files) {
    grown += file.references.size() * contents[&file - reading.files.data()].size();
  }
  Require(WithFileContents(markup, reading, {}) == markup);
  Require(WithFileContents(markup, reading, contents).size() == markup.size() - replaced + grown);

  const LinkLines lines = ReadLinkLines(links);
  std::vector<std::size_t> used;
  for (const LinkLine& line : lines.links) {
    Require(line.link.starts_with("//") || StartsWithNoCase(line.link, "http"));
    used.push_back(line.line);
  }
  const Text rest = WithoutLines(links, used);
  const LinkLines left = ReadLinkLines(rest);
  Require(left.links.empty() && left.not_links == lines.not_links);
  Require(WithoutLines(links, {}) == links);
}

inline void ExerciseTextHandling(std::string_view data) {
  const TextInput in = SplitTextInput(data);
  CheckTextRules(in.markup, in.needle);
  CheckTextRules(in.links, in.needle);

  RegexObject regex;
  const Text path(in.path);
  // Bytes that are no GBK reach the pattern engine changed, and then the
  // ending it finds may not stand in the path as it is: the path stays whole.
  const Text stem = SliceStemOf(regex, path);
  Require(stem == path || stem.size() + SliceSuffixOf(regex, path).size() == path.size());
  CheckRunInputs(in.markup, in.links);
  CheckRegex(regex, in.needle, in.markup);
}

}  // namespace qm::fuzz
