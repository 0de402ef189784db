// A plain backtracking matcher of the classic pattern syntax (see
// platform/pattern/classic_pattern_matcher.h), written for obviousness, not
// speed: the oracle that ClassicPatternMatcher is checked against on
// generated inputs.
//
// It knows bytes, not characters: '.' takes one byte and case folding covers
// ASCII letters only, so compare the two on ASCII patterns and texts. An
// invalid pattern throws Failure("Invalid pattern") without saying why; the
// real matcher's tests check the wording.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/pattern_matcher.h"

namespace tidewell::testing {

class ReferenceMatcher : public PatternMatcher {
 public:
  ReferenceMatcher();
  ~ReferenceMatcher() override;

  void SetCaseSensitive(bool caseSensitive) override { case_sensitive_ = caseSensitive; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetPattern(const std::string& pattern) override;
  int32_t MatchCount() override;
  void SetReplace(const std::string& replacement) override;
  std::string Text() override { return text_; }
  std::vector<Match> Matches(const std::string& replacement) override;

  struct Node;

 private:
  // One match: its bounds, then the bounds of each tag (-1, -1 when unset).
  using Spans = std::vector<std::pair<long, long>>;
  std::vector<Spans> FindAll() const;

  bool case_sensitive_ = false;
  std::string text_;
  std::unique_ptr<Node> pattern_;  // a sequence; none for the empty pattern
  int tags_ = 0;
};

}  // namespace tidewell::testing
