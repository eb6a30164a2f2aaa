// What each platform backend of RegexObject provides. Indexes here are
// 0-based and already checked against the counts by the caller.
#pragma once

#include <memory>

#include "regex/regex_object.h"

namespace qm {

struct RegexOptions {
  bool ignoreCase = true;
  bool multiline = true;
  bool global = true;
};

class RegexObject::Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool Search(const Text& pattern, const Text& subject, const RegexOptions& options);
  int MatchCount() const;
  Text MatchText(int match) const;
  // Empty when the group does not exist or took part in no match.
  Text SubMatchText(int match, int group) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qm
