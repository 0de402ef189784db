// A plain backtracking matcher of the classic pattern syntax: the oracle the
// real matcher is checked against. It knows bytes, not characters ('.' takes
// a byte, only ASCII letters fold), and an invalid pattern throws
// Failure("Invalid pattern") without saying why.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/fake_components.h"

namespace tidewell::testing {

class ReferenceMatcher : public ListingMatcher {
 public:
  ReferenceMatcher();
  ~ReferenceMatcher() override;
  void SetPattern(const std::string& pattern) override;
  MatchList Matches(const std::string& replacement) override;

  struct Node;

 private:
  std::unique_ptr<Node> pattern_;  // none for the empty pattern
  int tags_ = 0;
};

}  // namespace tidewell::testing
