#include "cli/suggestions.h"

#include <algorithm>
#include <limits>

#include "fields/field_catalog.h"

namespace tidewell::cli {
namespace {

// Lower case, without blanks and leading dashes: "--Dry-Run" is "dry-run",
// "Mobile Phone" "mobilephone".
std::string Folded(const std::string& text) {
  std::string folded;
  for (char ch : text.substr(std::min(text.find_first_not_of('-'), text.size()))) {
    if (ch == ' ') continue;
    folded += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
  }
  return folded;
}

// The edits that turn `a` into `b`: a letter added, left out, changed, or
// two neighbours swapped, each one edit.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

constexpr size_t kFar = std::numeric_limits<size_t>::max();

// How far `candidate` is from what the user typed, or kFar when it is too
// far to be what was meant: one edit in three letters, or the start of it.
size_t Closeness(const std::string& typed, const std::string& candidate) {
  const size_t edits = Distance(typed, candidate);
  if (edits <= std::max<size_t>(1, typed.size() / 3)) return edits;
  if (typed.size() >= 3 && candidate.starts_with(typed)) return 1;
  return kFar;
}

}  // namespace

std::string WithSuggestion(const std::string& message, const std::string& word,
                           const std::vector<std::string>& candidates) {
  const std::string typed = Folded(word);
  size_t best = kFar;
  std::vector<std::string> closest, folded;  // one name each: "MobilePhone", not "Mobile Phone" too
  for (const std::string& candidate : candidates) {
    const std::string name = Folded(candidate);
    const size_t closeness = Closeness(typed, name);
    if (closeness == kFar || closeness > best) continue;
    if (closeness < best) closest.clear(), folded.clear();
    best = closeness;
    if (std::find(folded.begin(), folded.end(), name) == folded.end()) {
      closest.push_back(candidate);
      folded.push_back(name);
    }
  }
  if (closest.empty()) return message;
  closest.resize(std::min<size_t>(closest.size(), 3));
  std::string named;
  for (size_t i = 0; i < closest.size(); ++i) {
    named += (i == 0 ? "" : i + 1 == closest.size() ? " or " : ", ") + ("'" + closest[i] + "'");
  }
  return message + " Did you mean " + named + "?";
}

std::vector<std::string> FieldNames() {
  std::vector<std::string> names;
  for (const CatalogRow& row : kFieldCatalog) {
    names.insert(names.end(), {row.key, row.property, row.caption});
  }
  return names;
}

std::vector<std::string> FolderNames(const std::vector<std::unique_ptr<MAPIFolder>>& folders) {
  std::vector<std::string> names;
  for (const auto& folder : folders) names.insert(names.end(), {folder->EntryID(), folder->Name()});
  return names;
}

}  // namespace tidewell::cli
