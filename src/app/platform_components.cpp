#include "app/platform_components.h"

#include "adapters/pattern/classic_pattern_matcher.h"
#include "adapters/pattern/classic_syntax.h"
#include "journal/journal.h"
#include "support/ui_folder_picker.h"

namespace tidewell {

std::unique_ptr<SafeItem> PlatformComponents::CreateSafeItem(const std::string& progId) {
  return RecordingFailedSaves(safe_items_.Create(progId), *this);
}

std::unique_ptr<ActivityLogger> PlatformComponents::CreateActivityLogger() {
  return logbook_.CreateActivityLogger();
}

std::unique_ptr<MultiFolderPicker> PlatformComponents::CreateMultiFolderPicker() {
  return std::make_unique<UiMultiFolderPicker>(ui_);
}

std::unique_ptr<PatternMatcher> NewPatternMatcher(bool regex) {
  return std::make_unique<ClassicPatternMatcher>(regex ? PatternSyntax::kRegex
                                                       : PatternSyntax::kClassic);
}

bool RegexSetting(SettingsStore& settings, SupportComponent& support) {
  return settings.GetSetting(support.AppName(), "Host", kRegexKey, "0") == "1";
}

void SaveRegexSetting(SettingsStore& settings, SupportComponent& support, bool regex) {
  settings.SaveSetting(support.AppName(), "Host", kRegexKey, regex ? "1" : "0");
}

std::string ClassicSyntaxNote(const std::string& pattern) {
  const std::string construct = classic::RegexConstruct(pattern);
  if (construct.empty()) return "";
  return "Note: " + pattern + " is read in the classic syntax, where " + construct +
         "; pass --regex for a regular expression (see PATTERNS in 'man tidewell').";
}

// Read at each call: a host that switches the syntax makes the page a new
// matcher.
std::unique_ptr<PatternMatcher> PlatformComponents::CreatePatternMatcher() {
  return NewPatternMatcher(RegexSetting(settings_, support_));
}

std::vector<std::unique_ptr<PatternMatcher>> PlatformComponents::CreatePatternMatchers() {
  const bool regex = RegexSetting(settings_, support_);
  std::vector<std::unique_ptr<PatternMatcher>> matchers;
  matchers.push_back(NewPatternMatcher(regex));
  matchers.push_back(NewPatternMatcher(!regex));
  return matchers;
}

}  // namespace tidewell
