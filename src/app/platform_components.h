// The real outside components of the page, put together for a host: the
// vdir-backed safe items, the logbook's activity logger, the Ui's
// multi-folder picker and the classic pattern matcher.
//
//   Logbook logbook;
//   MarrowbySupport support(logbook);
//   IniSettingsStore settings;
//   PlatformComponents components(ui, settings, logbook, support);
//   UC1 page(components);
#pragma once

#include "adapters/logbook/logbook.h"
#include "platform/components.h"
#include "support/safe_item_library.h"

namespace tidewell {

// The pattern matcher of the page, for a host that checks a pattern before
// there are components (a command line's --search): the classic syntax, or
// with `regex` PCRE2's.
std::unique_ptr<PatternMatcher> NewPatternMatcher(bool regex = false);

// Whether the page's pattern is a regular expression: settings section
// "Host", key "RegularExpressions", "1" for yes (anything else, or nothing
// saved, is the classic syntax). The page's own keys stay as they are.
inline constexpr const char* kRegexKey = "RegularExpressions";
bool RegexSetting(SettingsStore& settings, SupportComponent& support);
void SaveRegexSetting(SettingsStore& settings, SupportComponent& support, bool regex);

// For a classic pattern that found nothing and holds a regular-expression
// habit: "Note: 555-\d{3} is read in the classic syntax, where \d means the
// letter d; pass --regex for a regular expression (see PATTERNS in 'man
// tidewell')."; "" for any other pattern.
std::string ClassicSyntaxNote(const std::string& pattern);

class PlatformComponents : public Components {
 public:
  // Holds references only: every part must outlive the components.
  PlatformComponents(Ui& ui, SettingsStore& settings, Logbook& logbook, SupportComponent& support)
      : ui_(ui), settings_(settings), logbook_(logbook), support_(support) {}

  std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) override;
  std::unique_ptr<ActivityLogger> CreateActivityLogger() override;
  std::unique_ptr<MultiFolderPicker> CreateMultiFolderPicker() override;
  std::unique_ptr<PatternMatcher> CreatePatternMatcher() override;
  std::vector<std::unique_ptr<PatternMatcher>> CreatePatternMatchers() override;
  SupportComponent& Support() override { return support_; }
  SettingsStore& Settings() override { return settings_; }
  Ui& ui() override { return ui_; }

 private:
  Ui& ui_;
  SettingsStore& settings_;
  Logbook& logbook_;
  SupportComponent& support_;
  SafeItemLibrary safe_items_;
};

}  // namespace tidewell
