// The outside components the page is built from: what the host's maker and
// the platform supply. A host owns one Components for the page's life; tests
// use tests/support/fake_components.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/activity_logger.h"
#include "platform/folder_picker.h"
#include "platform/pattern_matcher.h"
#include "platform/safe_item.h"
#include "platform/settings_store.h"
#include "platform/support.h"
#include "platform/ui.h"

namespace tidewell {

class Components {
 public:
  virtual ~Components() = default;

  // A fresh wrapper for `progId` (kSafeContactItem, ...). Throws
  // Failure("ActiveX component can't create object") for an unknown ProgID.
  virtual std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) = 0;

  // A fresh activity logger; one per line.
  virtual std::unique_ptr<ActivityLogger> CreateActivityLogger() = 0;

  // A fresh multi-folder picker; one per use.
  virtual std::unique_ptr<MultiFolderPicker> CreateMultiFolderPicker() = 0;

  // The page's one matcher, made with the page.
  virtual std::unique_ptr<PatternMatcher> CreatePatternMatcher() = 0;

  // A matcher of every pattern syntax the host offers, the one in force
  // (CreatePatternMatcher's) first. An undo tries each: the journal does not
  // say which syntax a run read its pattern in, and the setting may have
  // changed since.
  virtual std::vector<std::unique_ptr<PatternMatcher>> CreatePatternMatchers() {
    std::vector<std::unique_ptr<PatternMatcher>> matchers;
    matchers.push_back(CreatePatternMatcher());
    return matchers;
  }

  // The shared support component: one per process.
  virtual SupportComponent& Support() = 0;

  virtual SettingsStore& Settings() = 0;

  virtual Ui& ui() = 0;
};

}  // namespace tidewell
