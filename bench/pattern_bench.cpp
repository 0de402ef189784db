// The pattern matcher as a replace run drives it: the same pattern set for
// every field, then count, and replace on a hit. "Kept" reuses one matcher,
// so the pattern is compiled once; "PerField" makes a fresh matcher for every
// field, so it compiles every time. Inputs: 200,000 short contact fields
// (names, phone numbers, e-mail addresses, companies) and 2,000 bodies of
// 20 KB, generated from a fixed seed.
//
//   pattern_bench --benchmark_filter=Bodies
#include <cctype>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "adapters/pattern/classic_pattern_matcher.h"

namespace tidewell {
namespace {

constexpr size_t kFieldCount = 200'000;
constexpr size_t kBodyCount = 2'000;
constexpr size_t kBodySize = 20 * 1024;

struct Search {
  const char* label;
  const char* pattern;
  bool case_sensitive;
  const char* replacement;
};

const Search kFieldSearches[] = {
    {"literal, any case", "müller", false, "Mueller"},
    {"area code", "(555)", true, "(777)"},
    {"tagged e-mail domain", "@{[a-z]+}\\.com", false, "@\\1.org"},
};

const Search kBodySearches[] = {
    {"literal, case-sensitive", "Marrowby", true, "Tidewell"},
    {"literal, any case", "marrowby", false, "Tidewell"},
    {"phone parts", "{[0-9]+}-{[0-9]+}", true, "\\1 \\2"},
};

class Generator {
 public:
  std::string Pick(const std::vector<std::string>& words) {
    return words[std::uniform_int_distribution<size_t>(0, words.size() - 1)(random_)];
  }
  std::string Digits(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>('0' + random_() % 10);
    return out;
  }
  std::string Phone() {
    const std::string area = random_() % 4 == 0 ? "555" : Digits(3);
    return "(" + area + ") " + Digits(3) + "-" + Digits(4);
  }
  std::string Name() { return Pick(first_) + " " + Pick(last_); }
  std::string Mail() { return Pick(mail_first_) + "." + Pick(mail_last_) + "@" + Pick(domains_); }
  bool OneIn(unsigned n) { return random_() % n == 0; }

  const std::vector<std::string> first_ = {"Anna",  "Ben",  "Chloé", "David", "Emma",  "Fritz",
                                           "Grace", "Inès", "Jamal", "Liam",  "María", "Olga"};
  const std::vector<std::string> last_ = {"Müller", "Smith", "García",   "Nguyen", "Okafor",
                                          "Brown",  "Rossi", "Kowalski", "Dubois", "Tanaka"};
  const std::vector<std::string> mail_first_ = {"anna", "ben", "chloe", "david", "emma", "liam"};
  const std::vector<std::string> mail_last_ = {"mueller", "smith", "garcia", "nguyen", "rossi"};
  const std::vector<std::string> domains_ = {"example.com", "mail.example.org", "acme.com",
                                             "post.example.net"};
  const std::vector<std::string> companies_ = {
      "Acme Ltd", "Globex GmbH", "Initech Inc.", "Umbrella S.A.", "Hooli", "Vandelay Industries"};
  const std::vector<std::string> words_ = {
      "the",      "meeting", "will",   "be",       "moved",    "to",       "next",     "week",
      "please",   "call",    "me",     "about",    "invoice",  "and",      "delivery", "of",
      "our",      "order",   "thanks", "regards",  "project",  "schedule", "budget",   "review",
      "Monday",   "office",  "client", "contract", "attached", "draft",    "for",      "your",
      "comments", "we",      "agreed", "on",       "a",        "new",      "date",     "in",
      "Berlin",   "London",  "with",   "team",     "is",       "ready",    "after",    "lunch"};

 private:
  std::mt19937 random_{20240611};
};

const std::vector<std::string>& Fields() {
  static const std::vector<std::string> fields = [] {
    Generator g;
    std::vector<std::string> out;
    out.reserve(kFieldCount);
    for (size_t i = 0; i < kFieldCount; ++i) {
      switch (i % 4) {
        case 0:
          out.push_back(g.Name());
          break;
        case 1:
          out.push_back(g.Phone());
          break;
        case 2:
          out.push_back(g.Mail());
          break;
        default:
          out.push_back(g.Pick(g.companies_));
          break;
      }
    }
    return out;
  }();
  return fields;
}

// Prose with a name, a phone number or an address now and then; one body in
// ten names the firm "Marrowby" once.
const std::vector<std::string>& Bodies() {
  static const std::vector<std::string> bodies = [] {
    Generator g;
    std::vector<std::string> out;
    out.reserve(kBodyCount);
    for (size_t i = 0; i < kBodyCount; ++i) {
      std::string body;
      const size_t firm_at = g.OneIn(10) ? kBodySize / 2 : kBodySize;
      bool firm_named = false;
      while (body.size() < kBodySize) {
        std::string sentence = g.Pick(g.words_);
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
        for (int w = 0; w < 12; ++w) sentence.append(" ").append(g.Pick(g.words_));
        if (g.OneIn(5)) sentence.append(", ").append(g.Name());
        if (g.OneIn(8)) sentence.append(" at ").append(g.Phone());
        if (g.OneIn(8)) sentence.append(" <").append(g.Mail()).append(">");
        if (!firm_named && body.size() >= firm_at) {
          sentence += " for Marrowby";
          firm_named = true;
        }
        body.append(sentence).append(g.OneIn(4) ? ".\r\n" : ". ");
      }
      body.resize(kBodySize);
      out.push_back(std::move(body));
    }
    return out;
  }();
  return bodies;
}

size_t TotalBytes(const std::vector<std::string>& texts) {
  size_t total = 0;
  for (const std::string& text : texts) total += text.size();
  return total;
}

// What the field rule does with one field.
void ReplaceInField(PatternMatcher& matcher, const std::string& text, const Search& search) {
  matcher.SetText(text);
  matcher.SetPattern(search.pattern);
  if (matcher.MatchCount() >= 1) {
    matcher.SetReplace(search.replacement);
    benchmark::DoNotOptimize(matcher.Text());
  }
}

void RunKept(benchmark::State& state, const std::vector<std::string>& texts, const Search& search) {
  ClassicPatternMatcher matcher;
  matcher.SetCaseSensitive(search.case_sensitive);
  for (auto _ : state) {
    for (const std::string& text : texts) ReplaceInField(matcher, text, search);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(texts)));
  state.SetLabel(search.label);
}

void RunPerField(benchmark::State& state, const std::vector<std::string>& texts,
                 const Search& search) {
  for (auto _ : state) {
    for (const std::string& text : texts) {
      ClassicPatternMatcher matcher;
      matcher.SetCaseSensitive(search.case_sensitive);
      ReplaceInField(matcher, text, search);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(texts)));
  state.SetLabel(search.label);
}

void BM_FieldsKept(benchmark::State& state) {
  RunKept(state, Fields(), kFieldSearches[state.range(0)]);
}
void BM_FieldsPerField(benchmark::State& state) {
  RunPerField(state, Fields(), kFieldSearches[state.range(0)]);
}
void BM_BodiesKept(benchmark::State& state) {
  RunKept(state, Bodies(), kBodySearches[state.range(0)]);
}
void BM_BodiesPerField(benchmark::State& state) {
  RunPerField(state, Bodies(), kBodySearches[state.range(0)]);
}

constexpr int kLastField = std::size(kFieldSearches) - 1;
constexpr int kLastBody = std::size(kBodySearches) - 1;
BENCHMARK(BM_FieldsKept)->DenseRange(0, kLastField)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldsPerField)->DenseRange(0, kLastField)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodiesKept)->DenseRange(0, kLastBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodiesPerField)->DenseRange(0, kLastBody)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tidewell

BENCHMARK_MAIN();
