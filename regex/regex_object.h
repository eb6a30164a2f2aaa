// Pattern search over GBK texts. The engine matches Unicode characters (one
// Chinese character is one character for ".", "\D" and counts); callers see
// GBK texts and 1-based match and group indexes. Failures give empty results.
#pragma once

#include <memory>

#include "base/text.h"

namespace qm {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // True when the engine produced a match collection, even an empty one.
  // With quote_token, every "#引号" in the pattern stands for a double quote.
  bool Search(const Text& pattern, const Text& subject, bool case_sensitive = false,
              bool multiline = true, bool global = true, bool quote_token = false);
  int MatchCount() const;
  Text MatchText(int n) const;
  Text SubMatchText(int n, int j) const;

  // The platform backend; defined in regex_object_win.cpp or _posix.cpp.
  class Engine;

 private:
  std::unique_ptr<Engine> engine_;
};

}  // namespace qm
