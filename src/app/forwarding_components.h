// Components that hand every call to other components: the base of a wrapper
// that changes one or two of them (a listing of changes, a preview's
// reports) and must pass the rest on unchanged.
//
//   class Quiet : public ForwardingComponents {
//    public:
//     using ForwardingComponents::ForwardingComponents;
//     Ui& ui() override { return quiet_ui_; }   // the rest go to `inner`
//   };
//
// Every virtual of Components is forwarded here, the defaulted ones too: a
// wrapper that left CreatePatternMatchers to its default would hand an undo
// only the syntax in force, and a run in an older syntax would undo nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/components.h"

namespace tidewell {

class ForwardingComponents : public Components {
 public:
  // `inner` must outlive the wrapper and every object it makes.
  explicit ForwardingComponents(Components& inner) : inner_(inner) {}

  std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) override {
    return inner_.CreateSafeItem(progId);
  }
  std::unique_ptr<ActivityLogger> CreateActivityLogger() override {
    return inner_.CreateActivityLogger();
  }
  std::unique_ptr<MultiFolderPicker> CreateMultiFolderPicker() override {
    return inner_.CreateMultiFolderPicker();
  }
  std::unique_ptr<PatternMatcher> CreatePatternMatcher() override {
    return inner_.CreatePatternMatcher();
  }
  std::vector<std::unique_ptr<PatternMatcher>> CreatePatternMatchers() override {
    return inner_.CreatePatternMatchers();
  }
  SupportComponent& Support() override { return inner_.Support(); }
  SettingsStore& Settings() override { return inner_.Settings(); }
  Ui& ui() override { return inner_.ui(); }

 protected:
  Components& inner() { return inner_; }

 private:
  Components& inner_;
};

}  // namespace tidewell
