#include "app/platform_components.h"

#include "adapters/pattern/classic_pattern_matcher.h"
#include "journal/journal.h"
#include "platform/support/ui_folder_picker.h"

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

std::unique_ptr<PatternMatcher> NewPatternMatcher() {
  return std::make_unique<ClassicPatternMatcher>();
}

std::unique_ptr<PatternMatcher> PlatformComponents::CreatePatternMatcher() {
  return NewPatternMatcher();
}

}  // namespace tidewell
