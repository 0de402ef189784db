#include "support/reference_matcher.h"

#include <functional>
#include <string_view>

#include "platform/failure.h"

namespace tidewell::testing {

struct ReferenceMatcher::Node {
  char kind = 'c';  // 'c' a character, '.' any, '[' a list, '{' a tag, '^' start, '$' end
  char ch = 0;
  char repeat = 0;  // '?', '*', '+' or none
  bool negated = false;
  std::vector<std::pair<unsigned char, unsigned char>> ranges;
  int tag = 0;
  std::vector<Node> children;  // of a tag; the whole pattern is tag 0
};

namespace {

using Node = ReferenceMatcher::Node;

[[noreturn]] void Invalid() { throw Failure("Invalid pattern"); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

struct Parser {
  std::vector<Node> Sequence(bool in_tag) {
    std::vector<Node> sequence;
    while (i < p.size() && p[i] != '}') {
      const char c = p[i];
      if ((c == '?' || c == '*' || c == '+') && !sequence.empty() && sequence.back().kind != '^') {
        if (sequence.back().repeat != 0) Invalid();
        sequence.back().repeat = c;
        ++i;
      } else {
        sequence.push_back(Atom());
      }
    }
    if (in_tag == (i == p.size())) Invalid();  // a tag left open, or a '}' closing none
    return sequence;
  }

  Node Atom() {
    Node atom;
    const char c = p[i];
    if (c == '[') return List();
    if (c == '{') {
      ++i;
      atom.kind = '{';
      atom.tag = ++tags;
      atom.children = Sequence(true);
      ++i;
    } else if ((c == '^' && i == 0) || (c == '$' && i + 1 == p.size()) || c == '.') {
      atom.kind = c;
      ++i;
    } else {
      atom.ch = Member();
    }
    return atom;
  }

  // One character, a backslash escape taken into account.
  char Member() {
    if (p[i] != '\\') return p[i++];
    if (i + 1 == p.size()) Invalid();
    i += 2;
    const size_t at = std::string_view("abfnrtv").find(p[i - 1]);
    return at == std::string_view::npos ? p[i - 1] : "\a\b\f\n\r\t\v"[at];
  }

  Node List() {
    Node list;
    list.kind = '[';
    list.negated = ++i < p.size() && p[i] == '^';
    if (list.negated) ++i;
    for (bool first = true; first || i >= p.size() || p[i] != ']'; first = false) {
      if (i >= p.size()) Invalid();
      const auto low = static_cast<unsigned char>(Member());
      auto high = low;
      if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
        ++i;
        high = static_cast<unsigned char>(Member());
        if (high < low) Invalid();
      }
      list.ranges.emplace_back(low, high);
    }
    ++i;
    return list;
  }

  const std::string& p;
  size_t i = 0;
  int tags = 0;
};

// Continuation-passing backtracking: every alternative is tried in the order
// a greedy matcher prefers it, and `next` decides whether the rest matches.
struct Search {
  using Next = std::function<bool(size_t)>;

  // The first non-empty match starting exactly at `start`.
  bool At(const Node& root, size_t start, std::vector<std::pair<long, long>>& found) {
    captures.assign(tags + 1, {-1, -1});
    return Sequence(root.children, 0, start, [&](size_t end) {
      if (end == start) return false;
      found = captures;
      found[0] = {static_cast<long>(start), static_cast<long>(end)};
      return true;
    });
  }

  bool Sequence(const std::vector<Node>& nodes, size_t k, size_t pos, const Next& next) {
    if (k == nodes.size()) return next(pos);
    const Next rest = [&](size_t after) { return Sequence(nodes, k + 1, after, next); };
    const Node& node = nodes[k];
    if (node.repeat == '*') return Star(node, pos, rest);
    if (node.repeat == '+') return Once(node, pos, Loop(node, pos, rest));
    return Once(node, pos, rest) || (node.repeat == '?' && rest(pos));
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
    if (node.kind == '^') return pos == 0 && next(pos);
    if (node.kind == '$') return pos == text.size() && next(pos);
    if (node.kind != '{') return pos < text.size() && Takes(node, text[pos]) && next(pos + 1);
    const auto before = captures[node.tag];
    const bool matched = Sequence(node.children, 0, pos, [&](size_t after) {
      const auto inner = captures[node.tag];
      captures[node.tag] = {static_cast<long>(pos), static_cast<long>(after)};
      if (next(after)) return true;
      captures[node.tag] = inner;
      return false;
    });
    if (!matched) captures[node.tag] = before;
    return matched;
  }

  bool Takes(const Node& node, char c) const {
    if (node.kind == '.') return true;
    if (node.kind == 'c') return case_sensitive ? c == node.ch : Lower(c) == Lower(node.ch);
    const auto in = [&](char x) {
      const auto u = static_cast<unsigned char>(x);
      for (const auto& [low, high] : node.ranges) {
        if (u >= low && u <= high) return true;
      }
      return false;
    };
    return (in(c) || (!case_sensitive && (in(Lower(c)) || in(Upper(c))))) != node.negated;
  }

  const std::string& text;
  bool case_sensitive;
  int tags;
  std::vector<std::pair<long, long>> captures;
};

}  // namespace

ReferenceMatcher::ReferenceMatcher() = default;
ReferenceMatcher::~ReferenceMatcher() = default;

void ReferenceMatcher::SetPattern(const std::string& pattern) {
  pattern_.reset();
  tags_ = 0;
  if (pattern.empty()) return;
  Parser parser{pattern};
  pattern_ = std::make_unique<Node>();
  pattern_->kind = '{';
  pattern_->children = parser.Sequence(false);
  tags_ = parser.tags;
}

PatternMatcher::MatchList ReferenceMatcher::Matches(const std::string& replacement) {
  MatchList matches;
  Search search{text_, case_sensitive_, tags_, {}};
  std::vector<std::pair<long, long>> spans;  // the match, then each tag ((-1, -1) when unset)
  for (size_t start = 0; pattern_ && start < text_.size();) {
    if (!search.At(*pattern_, start, spans)) {
      ++start;
      continue;
    }
    matches.Add(size_t(spans[0].first), size_t(spans[0].second));
    const Match match = matches[matches.size() - 1];
    std::string& replaced = matches.replacements.emplace_back();
    for (size_t i = 0; i < replacement.size(); ++i) {
      const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (replacement[i] == '\\' && next >= '0' && next <= '9') {
        const size_t tag = size_t(next - '0');
        if (tag < spans.size() && spans[tag].first >= 0) {
          replaced +=
              text_.substr(size_t(spans[tag].first), size_t(spans[tag].second - spans[tag].first));
        }
        ++i;
      } else if (replacement[i] == '\\' && next == '\\') {
        replaced += '\\';
        ++i;
      } else {
        replaced += replacement[i];
      }
    }
    start = match.end;
  }
  return matches;
}

}  // namespace tidewell::testing
