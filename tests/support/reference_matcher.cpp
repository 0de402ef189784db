#include "support/reference_matcher.h"

#include <functional>

#include "platform/failure.h"

namespace tidewell::testing {

struct ReferenceMatcher::Node {
  enum class Kind { kChar, kAny, kList, kTag, kStart, kEnd };
  Kind kind = Kind::kChar;
  char ch = 0;
  bool negated = false;
  std::vector<std::pair<unsigned char, unsigned char>> ranges;
  int tag = 0;
  std::vector<Node> children;  // of a tag; the whole pattern is tag 0
  char repeat = 0;             // '?', '*', '+' or none
};

namespace {

using Node = ReferenceMatcher::Node;
using Kind = Node::Kind;

[[noreturn]] void Invalid() { throw Failure("Invalid pattern"); }

char Control(char c) {
  const std::string from = "abfnrtv", to = "\a\b\f\n\r\t\v";
  const size_t at = from.find(c);
  return at == std::string::npos ? c : to[at];
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Parser {
 public:
  explicit Parser(const std::string& pattern) : p_(pattern) {}

  Node Pattern() {
    Node root;
    root.kind = Kind::kTag;
    root.children = Sequence(false);
    return root;
  }
  int tags() const { return tags_; }

 private:
  std::vector<Node> Sequence(bool in_tag) {
    std::vector<Node> sequence;
    while (i_ < p_.size()) {
      const char c = p_[i_];
      if (c == '}') {
        if (!in_tag) Invalid();
        return sequence;
      }
      const bool repeat = c == '?' || c == '*' || c == '+';
      if (repeat && !sequence.empty() && sequence.back().kind != Kind::kStart) {
        if (sequence.back().repeat != 0) Invalid();
        sequence.back().repeat = c;
        ++i_;
        continue;
      }
      sequence.push_back(Atom());
    }
    if (in_tag) Invalid();
    return sequence;
  }

  Node Atom() {
    Node atom;
    const char c = p_[i_];
    if (c == '[') return List();
    if (c == '{') {
      ++i_;
      atom.kind = Kind::kTag;
      atom.tag = ++tags_;
      atom.children = Sequence(true);
      ++i_;
    } else if ((c == '^' && i_ == 0) || (c == '$' && i_ + 1 == p_.size()) || c == '.') {
      atom.kind = c == '^' ? Kind::kStart : c == '$' ? Kind::kEnd : Kind::kAny;
      ++i_;
    } else {
      atom.ch = Member();
    }
    return atom;
  }

  // One character, a backslash escape taken into account.
  char Member() {
    if (p_[i_] != '\\') return p_[i_++];
    if (i_ + 1 == p_.size()) Invalid();
    i_ += 2;
    return Control(p_[i_ - 1]);
  }

  Node List() {
    Node list;
    list.kind = Kind::kList;
    ++i_;
    if (i_ < p_.size() && p_[i_] == '^') {
      list.negated = true;
      ++i_;
    }
    for (bool first = true;; first = false) {
      if (i_ >= p_.size()) Invalid();
      if (p_[i_] == ']' && !first) {
        ++i_;
        return list;
      }
      const auto low = static_cast<unsigned char>(Member());
      auto high = low;
      if (i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']') {
        ++i_;
        high = static_cast<unsigned char>(Member());
        if (high < low) Invalid();
      }
      list.ranges.emplace_back(low, high);
    }
  }

  const std::string& p_;
  size_t i_ = 0;
  int tags_ = 0;
};

// Continuation-passing backtracking: every alternative is tried in the order
// a greedy matcher prefers it, and `next` decides whether the rest matches.
class Search {
 public:
  using Next = std::function<bool(size_t)>;

  Search(const std::string& text, bool case_sensitive, int tags)
      : text_(text), case_sensitive_(case_sensitive), tags_(tags) {}

  // The first non-empty match starting exactly at `start`.
  bool At(const Node& root, size_t start, std::vector<std::pair<long, long>>& found) {
    captures_.assign(tags_ + 1, {-1, -1});
    return Sequence(root.children, 0, start, [&](size_t end) {
      if (end == start) return false;
      found = captures_;
      found[0] = {static_cast<long>(start), static_cast<long>(end)};
      return true;
    });
  }

 private:
  bool Sequence(const std::vector<Node>& nodes, size_t k, size_t pos, const Next& next) {
    if (k == nodes.size()) return next(pos);
    return Repeated(nodes[k], pos,
                    [&](size_t after) { return Sequence(nodes, k + 1, after, next); });
  }

  bool Repeated(const Node& node, size_t pos, const Next& next) {
    if (node.repeat == '*') return Star(node, pos, next);
    if (node.repeat == '+') return Once(node, pos, Loop(node, pos, next));
    return Once(node, pos, next) || (node.repeat == '?' && next(pos));
  }

  // After one iteration: go round again, except after an iteration that took
  // nothing, which would go round forever.
  Next Loop(const Node& node, size_t pos, const Next& next) {
    return [this, &node, pos, &next](size_t after) {
      return after == pos ? next(after) : Star(node, after, next);
    };
  }

  bool Star(const Node& node, size_t pos, const Next& next) {
    return Once(node, pos, Loop(node, pos, next)) || next(pos);
  }

  bool Once(const Node& node, size_t pos, const Next& next) {
    const bool more = pos < text_.size();
    if (node.kind == Kind::kStart) return pos == 0 && next(pos);
    if (node.kind == Kind::kEnd) return pos == text_.size() && next(pos);
    if (node.kind == Kind::kAny) return more && next(pos + 1);
    if (node.kind == Kind::kChar) return more && Same(text_[pos], node.ch) && next(pos + 1);
    if (node.kind == Kind::kList) return more && InList(node, text_[pos]) && next(pos + 1);
    const auto before = captures_[node.tag];  // a tag
    const bool matched = Sequence(node.children, 0, pos, [&](size_t after) {
      const auto inner = captures_[node.tag];
      captures_[node.tag] = {static_cast<long>(pos), static_cast<long>(after)};
      if (next(after)) return true;
      captures_[node.tag] = inner;
      return false;
    });
    if (!matched) captures_[node.tag] = before;
    return matched;
  }

  bool Same(char a, char b) const { return case_sensitive_ ? a == b : Lower(a) == Lower(b); }

  bool InList(const Node& list, char c) const {
    const auto in = [&](char x) {
      const auto u = static_cast<unsigned char>(x);
      for (const auto& [low, high] : list.ranges) {
        if (u >= low && u <= high) return true;
      }
      return false;
    };
    const bool member = in(c) || (!case_sensitive_ && (in(Lower(c)) || in(Upper(c))));
    return member != list.negated;
  }

  const std::string& text_;
  bool case_sensitive_;
  int tags_;
  std::vector<std::pair<long, long>> captures_;
};

}  // namespace

ReferenceMatcher::ReferenceMatcher() = default;
ReferenceMatcher::~ReferenceMatcher() = default;

void ReferenceMatcher::SetPattern(const std::string& pattern) {
  pattern_.reset();
  tags_ = 0;
  if (pattern.empty()) return;
  Parser parser(pattern);
  pattern_ = std::make_unique<Node>(parser.Pattern());
  tags_ = parser.tags();
}

std::vector<PatternMatcher::Match> ReferenceMatcher::Matches(const std::string& replacement) {
  std::vector<Match> matches;
  Search search(text_, case_sensitive_, tags_);
  std::vector<std::pair<long, long>> spans;  // the match, then each tag ((-1, -1) when unset)
  for (size_t start = 0; pattern_ && start < text_.size();) {
    if (!search.At(*pattern_, start, spans)) {
      ++start;
      continue;
    }
    const auto text = [&](size_t tag) {
      const auto [from, to] = spans[tag];
      return from < 0 ? "" : text_.substr(size_t(from), size_t(to - from));
    };
    Match& match = matches.emplace_back(Match{size_t(spans[0].first), size_t(spans[0].second), ""});
    for (size_t i = 0; i < replacement.size(); ++i) {
      const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (replacement[i] == '\\' && next >= '0' && next <= '9') {
        if (size_t(next - '0') < spans.size()) match.replacement += text(size_t(next - '0'));
        ++i;
      } else if (replacement[i] == '\\' && next == '\\') {
        match.replacement += '\\';
        ++i;
      } else {
        match.replacement += replacement[i];
      }
    }
    start = match.end;
  }
  return matches;
}

}  // namespace tidewell::testing
