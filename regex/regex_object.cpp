#include "regex/regex_object.h"

#include "base/text_rules.h"
#include "regex/regex_engine.h"

namespace qm {

RegexObject::RegexObject() : engine_(std::make_unique<Engine>()) {}
RegexObject::~RegexObject() = default;

bool RegexObject::Search(const Text& pattern, const Text& subject, bool case_sensitive,
                         bool multiline, bool global, bool quote_token) {
  Text effective = quote_token ? ReplaceAll(pattern, "#引号", "\"") : pattern;
  return engine_->Search(effective, subject, RegexOptions{!case_sensitive, multiline, global});
}

int RegexObject::MatchCount() const {
  return engine_->MatchCount();
}

Text RegexObject::MatchText(int n) const {
  if (n < 1 || n > MatchCount()) return {};
  return engine_->MatchText(n - 1);
}

Text RegexObject::SubMatchText(int n, int j) const {
  if (n < 1 || n > MatchCount() || j < 1) return {};
  return engine_->SubMatchText(n - 1, j - 1);
}

}  // namespace qm
