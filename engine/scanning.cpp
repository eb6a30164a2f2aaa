#include "engine/scanning.h"

namespace qm {

Text TableBody(const Text& sliceCode) {
  return TextBetween(sliceCode, "<table", "</table>", 0, false);
}

std::vector<Text> FindReferences(RegexObject& regex, const Text& tableBody) {
  std::vector<Text> sources;
  regex.Search(kSourcePattern, tableBody);
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

}  // namespace qm
