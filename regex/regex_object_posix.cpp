// PCRE2 in 16-bit UTF mode stands in for the platform engine: the subject is
// converted from GBK to UTF-16 as the platform engine receives it, so
// characters and counts are the same. Newline is LF only, so "." stops at a
// line feed and nowhere else; "\d" stays ASCII 0-9 (no UCP).
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <utility>
#include <vector>

#include "host/encoding.h"
#include "regex/regex_engine.h"

namespace qm {
namespace {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

// PCRE2's default match limit (ten million steps) stops "(.+)" on a line of
// about ten million characters, where the platform engine simply finishes.
// The step count is therefore unbounded; the memory for backtracking keeps
// a bound, far above what the two patterns need on any pasted page.
constexpr uint32_t kMatchStepLimit = UINT32_MAX;
constexpr uint32_t kBacktrackHeapKiB = 1u << 20;  // 1 GiB

using Span = std::pair<PCRE2_SIZE, PCRE2_SIZE>;  // start, end; start == unset for "no group"
constexpr PCRE2_SIZE kUnset = PCRE2_UNSET;

std::unique_ptr<pcre2_code, CodeDeleter> Compile(const std::u16string& pattern,
                                                 const RegexOptions& options) {
  std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
      pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  uint32_t flags = PCRE2_UTF | PCRE2_NO_UTF_CHECK;
  if (options.ignoreCase) flags |= PCRE2_CASELESS;
  if (options.multiline) flags |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE offset = 0;
  return std::unique_ptr<pcre2_code, CodeDeleter>(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &error,
                    &offset, context.get()));
}

std::unique_ptr<pcre2_match_context, MatchContextDeleter> MatchContext() {
  std::unique_ptr<pcre2_match_context, MatchContextDeleter> context(
      pcre2_match_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_match_limit(context.get(), kMatchStepLimit);
  pcre2_set_depth_limit(context.get(), kMatchStepLimit);
  pcre2_set_heap_limit(context.get(), kBacktrackHeapKiB);
  return context;
}

}  // namespace

struct RegexObject::Engine::State {
  bool searched = false;
  std::u16string subject;
  // Per match: the whole match, then each group.
  std::vector<std::vector<Span>> matches;

  Text Piece(const Span& span) const {
    if (span.first == kUnset) return {};
    return GbkFromWide(std::u16string_view(subject).substr(span.first, span.second - span.first));
  }
};

RegexObject::Engine::Engine() : state_(std::make_unique<State>()) {}
RegexObject::Engine::~Engine() = default;

bool RegexObject::Engine::Search(const Text& pattern, const Text& subject,
                                 const RegexOptions& options) {
  state_ = std::make_unique<State>();
  auto code = Compile(WideFromGbk(pattern), options);
  if (!code) return false;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code.get(), nullptr));
  auto context = MatchContext();
  if (!data || !context) return false;

  state_->subject = WideFromGbk(subject);
  const auto* text = reinterpret_cast<PCRE2_SPTR>(state_->subject.data());
  const PCRE2_SIZE length = state_->subject.size();
  PCRE2_SIZE start = 0;
  while (start <= length) {
    int rc =
        pcre2_match(code.get(), text, length, start, PCRE2_NO_UTF_CHECK, data.get(), context.get());
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      // A limit or any other failure: the later references are unknown, so
      // the search fails whole rather than give a part as if it were all.
      state_ = std::make_unique<State>();
      return false;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    uint32_t pairs = pcre2_get_ovector_count(data.get());
    std::vector<Span> spans(pairs);
    for (uint32_t k = 0; k < pairs; ++k) spans[k] = {ovector[2 * k], ovector[2 * k + 1]};
    state_->matches.push_back(std::move(spans));
    if (!options.global) break;
    PCRE2_SIZE end = ovector[1];
    if (end == ovector[0]) {
      // An empty match: resume one character further, never inside a pair.
      if (end >= length) break;
      bool surrogate_pair =
          end + 1 < length && state_->subject[end] >= 0xD800 && state_->subject[end] < 0xDC00;
      end += surrogate_pair ? 2 : 1;
    }
    start = end;
  }
  state_->searched = true;
  return true;
}

int RegexObject::Engine::MatchCount() const {
  return static_cast<int>(state_->matches.size());
}

Text RegexObject::Engine::MatchText(int match) const {
  return state_->Piece(state_->matches[static_cast<std::size_t>(match)][0]);
}

Text RegexObject::Engine::SubMatchText(int match, int group) const {
  const auto& spans = state_->matches[static_cast<std::size_t>(match)];
  std::size_t index = static_cast<std::size_t>(group) + 1;
  if (index >= spans.size()) return {};
  return state_->Piece(spans[index]);
}

}  // namespace qm
