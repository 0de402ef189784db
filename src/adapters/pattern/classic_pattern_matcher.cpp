#define PCRE2_CODE_UNIT_WIDTH 8
#include "adapters/pattern/classic_pattern_matcher.h"

#include <algorithm>
#include <new>
#include <utility>

#include <pcre2.h>

#include "adapters/pattern/classic_syntax.h"
#include "platform/failure.h"
#include "text/utf8.h"

namespace tidewell {
namespace {

// PCRE2 counts per start position. Real patterns on 20 KB bodies stay far
// below; the classic catastrophes ("{a+}+b") pass it within a millisecond or
// two.
constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 1'000'000;
// PCRE2's own 32 KB JIT stack is enough until a repeated tag meets a long
// text ("{ab}*" over a body of "abab..."); then this one is made, once.
constexpr size_t kJitStackStart = 64 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024;
// Offset pairs kept per match: the match and tags 1..9, all a replacement
// can name.
constexpr uint32_t kPairs = 10;

const char* const kTooComplex = "The pattern is too complex for this text.";

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct ContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};
using Code = std::unique_ptr<pcre2_code, CodeFree>;

std::string ErrorMessage(int error) {
  PCRE2_UCHAR buffer[256];
  if (pcre2_get_error_message(error, buffer, sizeof buffer) < 0) {
    return "error " + std::to_string(error);
  }
  return reinterpret_cast<const char*>(buffer);
}

pcre2_code* CompileSource(const std::string& source, uint32_t options, int& error,
                          PCRE2_SIZE& offset) {
  return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(), options, &error,
                       &offset, nullptr);
}

// Throws Failure("Invalid pattern: ...").
// `anchors` tells whether the pattern holds to the start and to the end of
// the text.
Code CompileClassic(const std::string& pattern, bool caseSensitive,
                    std::pair<bool, bool>& anchors) {
  const classic::Translation translation = classic::Translate(pattern);
  // Every other backslash is written as \x{5c}, so these are the anchors.
  anchors = {translation.pcre.starts_with("\\A"), translation.pcre.ends_with("\\z")};
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE offset = 0;
  Code code;
  if (translation.is_literal) {
    code.reset(CompileSource(translation.literal, options | PCRE2_LITERAL, error, offset));
  }
  // The translated form also serves a literal that PCRE2 refused (too long),
  // because only its offsets lead back to the user's pattern.
  if (!code) code.reset(CompileSource(translation.pcre, options | PCRE2_DOTALL, error, offset));
  if (!code) {
    const auto at = [&](size_t pcre_offset) {
      return " at position " + std::to_string(translation.OriginOf(pcre_offset));
    };
    // PCRE2 speaks of parentheses and regular expressions; the user wrote
    // neither.
    switch (error) {
      case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
        // PCRE2 points just past the parenthesis too many.
        throw Failure("Invalid pattern: '{'" + at(offset - 1) + " is nested too deeply.");
      case PCRE2_ERROR_PATTERN_TOO_LARGE:
        throw Failure("Invalid pattern: the pattern is too long" + at(offset) + ".");
      default:
        throw Failure("Invalid pattern: " + ErrorMessage(error) + at(offset) + ".");
    }
  }
  return code;
}

// The user's own PCRE2 pattern. Throws Failure("Invalid pattern: ...") with
// the position counted in characters from 1, as the classic syntax counts.
Code CompileRegex(const std::string& pattern, bool caseSensitive) {
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE offset = 0;
  Code code(CompileSource(pattern, options, error, offset));
  if (!code) {
    const auto characters = [&](size_t bytes) {
      return static_cast<size_t>(
          std::count_if(pattern.begin(), pattern.begin() + bytes,
                        [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    };
    // PCRE2 points past the end for what is never closed; the user's last
    // character is where that shows.
    const size_t position = std::max<size_t>(
        1, std::min(characters(std::min(offset, pattern.size())) + 1, characters(pattern.size())));
    throw Failure("Invalid pattern: " + ErrorMessage(error) + " at position " +
                  std::to_string(position) + ".");
  }
  return code;
}

// `anchors` as for CompileClassic; a regular expression has none the matcher
// needs to know of.
Code CompileFor(PatternSyntax syntax, const std::string& pattern, bool caseSensitive,
                std::pair<bool, bool>& anchors) {
  if (syntax == PatternSyntax::kClassic) return CompileClassic(pattern, caseSensitive, anchors);
  anchors = {false, false};
  return CompileRegex(pattern, caseSensitive);
}

}  // namespace

struct ClassicPatternMatcher::Compiled {
  Compiled()
      : match_data(pcre2_match_data_create(kPairs, nullptr)),
        context(pcre2_match_context_create(nullptr)) {
    if (!match_data || !context) throw std::bad_alloc();
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
  }

  bool literal = false;  // compiled as PCRE2_LITERAL

  // The next non-empty match at or after `offset`: PCRE2's result code.
  // `interpret`: without the JIT code. PCRE2 10.42's JIT lets a caseless
  // negated list such as [^ς]+ run across bytes that are not UTF-8, which
  // the interpreter never does, so a text holding such bytes is interpreted.
  int Match(const std::string& text, size_t offset, bool interpret) {
    const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    const uint32_t options = PCRE2_NOTEMPTY | (interpret ? PCRE2_NO_JIT : 0);
    int rc = pcre2_match(code.get(), subject, text.size(), offset, options, match_data.get(),
                         context.get());
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT && !jit_stack) {
      jit_stack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
      if (!jit_stack) throw std::bad_alloc();
      pcre2_jit_stack_assign(context.get(), nullptr, jit_stack.get());
      rc = pcre2_match(code.get(), subject, text.size(), offset, options, match_data.get(),
                       context.get());
    }
    return rc;
  }

  const std::vector<classic::ReplacementPart>& Parsed(const std::string& replacement,
                                                      bool dollars) {
    if (!replacement_parsed || replacement != replacement_source) {
      replacement_parts = classic::ParseReplacement(replacement, dollars);
      replacement_source = replacement;
      replacement_parsed = true;
    }
    return replacement_parts;
  }

  Code code;                      // none for the empty pattern
  std::pair<bool, bool> anchors;  // held to the start, to the end of the text
  std::unique_ptr<pcre2_match_data, MatchDataFree> match_data;
  std::unique_ptr<pcre2_match_context, ContextFree> context;
  std::unique_ptr<pcre2_jit_stack, JitStackFree> jit_stack;

  bool replacement_parsed = false;
  std::string replacement_source;
  std::vector<classic::ReplacementPart> replacement_parts;
};

ClassicPatternMatcher::ClassicPatternMatcher(PatternSyntax syntax)
    : syntax_(syntax), compiled_(std::make_unique<Compiled>()) {}

ClassicPatternMatcher::~ClassicPatternMatcher() = default;

std::string ClassicPatternMatcher::Check(const std::string& pattern) const {
  if (pattern.empty()) return "";
  try {
    std::pair<bool, bool> anchors;
    CompileFor(syntax_, pattern, true, anchors);
  } catch (const Failure& failure) {
    return failure.Description();
  }
  return "";
}

void ClassicPatternMatcher::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive == case_sensitive_) return;
  case_sensitive_ = caseSensitive;
  compiled_current_ = false;
  scanned_ = false;
}

void ClassicPatternMatcher::SetText(const std::string& text) {
  text_ = text;
  scanned_ = false;
}

void ClassicPatternMatcher::AdoptText(std::string&& text) {
  // Swapped, not move-assigned: a short text would be copied into the room
  // of the last one, and a large item's text kept alive.
  std::string taken(std::move(text));
  text_.swap(taken);
  scanned_ = false;
}

void ClassicPatternMatcher::SetPattern(const std::string& pattern) {
  if (pattern == pattern_ && compiled_current_) {
    if (!pattern_error_.empty()) throw Failure(pattern_error_);
    return;
  }
  pattern_ = pattern;
  Compile();
}

void ClassicPatternMatcher::Compile() {
  compiled_current_ = true;
  scanned_ = false;
  pattern_error_.clear();
  compiled_->code.reset();
  if (pattern_.empty()) return;
  Code code;
  try {
    code = CompileFor(syntax_, pattern_, case_sensitive_, compiled_->anchors);
  } catch (const Failure& failure) {
    pattern_error_ = failure.Description();
    throw;
  }
  // Without JIT (no executable memory) pcre2_match interprets the same code
  // under the same limits, so a failure here only costs speed.
  pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
  uint32_t given = 0;
  pcre2_pattern_info(code.get(), PCRE2_INFO_ARGOPTIONS, &given);
  compiled_->literal = (given & PCRE2_LITERAL) != 0;
  uint32_t tags = 0;
  pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &tags);
  width_ = std::min(tags + 1, kPairs);
  compiled_->code = std::move(code);
}

void ClassicPatternMatcher::Scan() {
  if (!compiled_current_) Compile();
  if (!pattern_error_.empty()) throw Failure(pattern_error_);
  if (scanned_) return;
  spans_.clear();
  if (compiled_->code) {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled_->match_data.get());
    // A literal holds no list for the JIT to run across bytes that are not
    // UTF-8, and it matches them as the interpreter does: its text is not
    // checked, which for an item's whole text would be a second pass.
    const bool interpret = !compiled_->literal && !IsValidUtf8(text_);
    // A non-empty match cannot start at the end, so the loop stops there.
    for (size_t offset = 0; offset < text_.size();) {
      const int rc = compiled_->Match(text_, offset, interpret);
      if (rc == PCRE2_ERROR_NOMATCH) break;
      if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
          rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        throw TextFailure(kTooComplex);
      }
      if (rc < 0) throw TextFailure("The pattern matcher failed: " + ErrorMessage(rc) + ".");
      // PCRE2 10.42's interpreter takes bytes that are not UTF-8 for the
      // start or end of the text at \A and \z: such a match is none, and no
      // real one can reach back across those bytes.
      const auto [from_start, to_end] = compiled_->anchors;
      if ((from_start && ovector[0] != 0) || (to_end && ovector[1] != text_.size())) {
        offset = ovector[1];
        continue;
      }
      // rc == 0: more tags than kPairs, every kept pair is filled.
      const size_t filled = rc == 0 ? kPairs : static_cast<size_t>(rc);
      for (size_t pair = 0; pair < width_; ++pair) {
        const bool set = pair < filled && ovector[2 * pair] != PCRE2_UNSET;
        spans_.push_back(set ? ovector[2 * pair] : PCRE2_UNSET);
        spans_.push_back(set ? ovector[2 * pair + 1] : PCRE2_UNSET);
      }
      offset = ovector[1];
    }
  }
  scanned_ = true;
}

int32_t ClassicPatternMatcher::MatchCount() {
  Scan();
  return static_cast<int32_t>(spans_.size() / (2 * width_));
}

void ClassicPatternMatcher::AppendReplacement(std::string& out, size_t match,
                                              const std::string& replacement) {
  const size_t* pairs = spans_.data() + match * 2 * width_;
  for (const classic::ReplacementPart& part :
       compiled_->Parsed(replacement, syntax_ == PatternSyntax::kRegex)) {
    if (part.tag < 0) {
      out += part.literal;
    } else if (static_cast<size_t>(part.tag) < width_ && pairs[2 * part.tag] != PCRE2_UNSET) {
      out.append(text_, pairs[2 * part.tag], pairs[2 * part.tag + 1] - pairs[2 * part.tag]);
    }
  }
}

void ClassicPatternMatcher::SetReplace(const std::string& replacement) {
  Scan();
  if (spans_.empty()) return;
  std::string result;
  result.reserve(text_.size());
  size_t previous = 0;
  for (size_t match = 0; match < spans_.size() / (2 * width_); ++match) {
    const size_t begin = spans_[match * 2 * width_];
    result.append(text_, previous, begin - previous);
    AppendReplacement(result, match, replacement);
    previous = spans_[match * 2 * width_ + 1];
  }
  result.append(text_, previous);
  text_ = std::move(result);
  scanned_ = false;
}

std::string ClassicPatternMatcher::Text() { return text_; }

std::string ClassicPatternMatcher::TakeText() {
  std::string text;
  text.swap(text_);
  // The matches of a text of tens of MB take MBs of their own.
  std::vector<size_t>().swap(spans_);
  scanned_ = false;
  return text;
}

PatternMatcher::MatchList ClassicPatternMatcher::Matches(const std::string& replacement) {
  Scan();
  MatchList found;
  const size_t count = spans_.size() / (2 * width_);
  const std::vector<classic::ReplacementPart>& parts =
      compiled_->Parsed(replacement, syntax_ == PatternSyntax::kRegex);
  const bool tagged = std::any_of(parts.begin(), parts.end(),
                                  [](const classic::ReplacementPart& p) { return p.tag >= 0; });
  found.replacements.resize(tagged ? count : std::min<size_t>(count, 1));
  for (size_t match = 0; match < found.replacements.size(); ++match) {
    AppendReplacement(found.replacements[match], match, replacement);
  }
  // Without tags the scan's pairs are the list: handed over, not copied.
  if (width_ == 1) {
    found.bounds.swap(spans_);
    scanned_ = false;
  } else {
    found.bounds.reserve(2 * count);
    for (size_t match = 0; match < count; ++match) {
      found.Add(spans_[match * 2 * width_], spans_[match * 2 * width_ + 1]);
    }
  }
  return found;
}

}  // namespace tidewell
