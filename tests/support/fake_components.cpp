#include "support/fake_components.h"

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "support/fake_store.h"

namespace tidewell::testing {

StringSet PageStrings() {
  return {{"1", "help 1"},   {"3", "help 3"},   {"5", "help 5"},
          {"7", "help 7"},   {"9", "help 9"},   {"11", "help 11"},
          {"13", "help 13"}, {"15", "help 15"}, {"17", "Choose the folders to search"}};
}

std::string FakeSupport::AppName() {
  ++app_name_calls;
  if (fail_app_name) throw Failure(*fail_app_name);
  return "Marrowby";
}

void FakeSupport::ReportError(const std::string& message, bool flag, const std::string& procedure) {
  reports.push_back({message, flag, procedure});
}

void FakeSupport::LoadStringSet(StringSet& set, const std::string& name) {
  if (name != "Tidewell") throw Failure("No string set named '" + name + "'.");
  set = strings;
}

std::string FakeSupport::LookupText(const StringSet& set, const std::string& key) {
  auto found = set.find(key);
  if (found == set.end()) throw Failure("Invalid procedure call or argument");
  return found->second;
}

std::string FakeSettings::GetSetting(const std::string& appName, const std::string& section,
                                     const std::string& key, const std::string& defaultValue) {
  reads.push_back(key);
  if (auto f = fail_read.find(key); f != fail_read.end()) throw Failure(f->second);
  auto found = values.find({appName, section, key});
  return found == values.end() ? defaultValue : found->second;
}

void FakeSettings::SaveSetting(const std::string& appName, const std::string& section,
                               const std::string& key, const std::string& value) {
  if (auto f = fail_write.find(key); f != fail_write.end()) throw Failure(f->second);
  writes.push_back(key);
  values[{appName, section, key}] = value;
}

void FakeSettings::Put(const std::string& key, const std::string& value) {
  values[{"Marrowby", "Tidewell", key}] = value;
}

std::optional<std::string> FakeSettings::Value(const std::string& key) const {
  auto found = values.find({"Marrowby", "Tidewell", key});
  if (found == values.end()) return std::nullopt;
  return found->second;
}

MsgBoxResult ScriptedUi::MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                                const std::string& title) {
  boxes.push_back({prompt, buttons, title});
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected message box: " << prompt;
    return buttons == MsgBoxButtons::YesNo ? MsgBoxResult::No : MsgBoxResult::Cancel;
  }
  MsgBoxResult answer = answers.front();
  answers.pop_front();
  return answer;
}

void ScriptedUi::ShowFieldChooser(frmLookInFields& dialog) {
  ++field_chooser_shown;
  if (field_chooser) field_chooser(dialog);
}

std::optional<size_t> ScriptedUi::PickFolder(const std::vector<FolderChoice>&) {
  return pick_folder_answer;
}

std::optional<std::vector<size_t>> ScriptedUi::PickFolders(const std::vector<FolderChoice>& folders,
                                                           const std::vector<size_t>& checked,
                                                           const std::string& caption) {
  pick_folders_offered = folders;
  pick_folders_checked = checked;
  pick_folders_captions.push_back(caption);
  return pick_folders_answer;
}

void ScriptedUi::Repaint(const std::string& controlName) { repaints.push_back(controlName); }

bool FakePicker::PickFolders(Application&, bool, FolderList& folders, const std::string& caption) {
  if (captions_ != nullptr) captions_->push_back(caption);
  if (failure_) throw Failure(*failure_);
  if (!answer_) return false;
  folders = *answer_;
  return true;
}

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

class RecordingLogger : public ActivityLogger {
 public:
  explicit RecordingLogger(FakeComponents& owner) : owner_(owner) {}
  void Write(const std::string& source, const std::string& procedure, const std::string& message,
             int32_t undo) override {
    ++owner_.log_attempts;
    if (owner_.fail_log_line && *owner_.fail_log_line == owner_.log_attempts) {
      throw Failure(owner_.fail_log_description);
    }
    owner_.log.push_back({source, procedure, message, undo});
  }

 private:
  FakeComponents& owner_;
};

}  // namespace

void LiteralMatcher::SetPattern(const std::string& pattern) {
  if (fail_pattern) throw Failure(*fail_pattern);
  pattern_ = pattern;
}

std::vector<PatternMatcher::Match> LiteralMatcher::Matches(const std::string& replacement) {
  std::vector<Match> found;
  if (pattern_.empty()) return found;
  for (size_t i = 0; i + pattern_.size() <= text_.size();) {
    bool hit = true;
    for (size_t j = 0; j < pattern_.size() && hit; ++j) {
      hit = case_sensitive_ ? text_[i + j] == pattern_[j] : Fold(text_[i + j]) == Fold(pattern_[j]);
    }
    if (hit) {
      found.push_back({i, i + pattern_.size(), replacement});
      i += pattern_.size();
    } else {
      ++i;
    }
  }
  return found;
}

int32_t LiteralMatcher::MatchCount() { return static_cast<int32_t>(Matches("").size()); }

void LiteralMatcher::SetReplace(const std::string& replacement) {
  std::string result;
  size_t at = 0;
  for (const Match& m : Matches(replacement)) {
    result.append(text_, at, m.begin - at);
    result += m.replacement;
    at = m.end;
  }
  result.append(text_, at, std::string::npos);
  text_ = result;
}

std::unique_ptr<SafeItem> FakeComponents::CreateSafeItem(const std::string& progId) {
  if (fail_create_safe_item) throw Failure(*fail_create_safe_item);
  if (progId != kSafeContactItem && progId != kSafeAppointmentItem && progId != kSafeTaskItem) {
    throw Failure("ActiveX component can't create object");
  }
  ++safe_items_created;
  return std::make_unique<FakeSafeItem>(progId);
}

std::unique_ptr<ActivityLogger> FakeComponents::CreateActivityLogger() {
  return std::make_unique<RecordingLogger>(*this);
}

std::unique_ptr<MultiFolderPicker> FakeComponents::CreateMultiFolderPicker() {
  return std::make_unique<FakePicker>(picker_answer, picker_failure, &picker_captions);
}

std::unique_ptr<PatternMatcher> FakeComponents::CreatePatternMatcher() {
  auto made = std::make_unique<LiteralMatcher>();
  matcher = made.get();
  return made;
}

std::vector<std::string> FakeComponents::UndoMessages() const {
  std::vector<std::string> out;
  for (const LogLine& line : log) {
    if (line.undo != 0) out.push_back(line.message);
  }
  return out;
}

std::vector<std::string> FakeComponents::ProgressLines() const {
  std::vector<std::string> out;
  for (const LogLine& line : log) {
    if (line.undo == 0) out.push_back(line.procedure + "|" + line.message);
  }
  return out;
}

}  // namespace tidewell::testing
