// Recording and failing fakes of the outside components: support component
// (error reports), settings store, activity logger, multi-folder picker,
// message boxes and dialogs, and a literal pattern matcher.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/components.h"

namespace tidewell::testing {

struct ErrorReport {
  std::string message;
  bool flag;
  std::string procedure;
  friend bool operator==(const ErrorReport&, const ErrorReport&) = default;
};

struct LogLine {
  std::string source;
  std::string procedure;
  std::string message;
  int32_t undo;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

// The page string set that the fake support component loads: "1".."15", "17".
StringSet PageStrings();

class FakeSupport : public SupportComponent {
 public:
  std::string AppName() override;
  void ReportError(const std::string& message, bool flag, const std::string& procedure) override;
  void LoadStringSet(StringSet& set, const std::string& name) override;
  std::string LookupText(const StringSet& set, const std::string& key) override;

  std::vector<ErrorReport> reports;
  int app_name_calls = 0;
  std::optional<std::string> fail_app_name;  // AppName throws this
  StringSet strings = PageStrings();
};

// Settings in memory, keyed by application name, section and key. Every read
// and write is recorded in order.
class FakeSettings : public SettingsStore {
 public:
  using Key = std::tuple<std::string, std::string, std::string>;

  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;

  // Section "Tidewell" under "Marrowby", the page's own.
  void Put(const std::string& key, const std::string& value);
  std::optional<std::string> Value(const std::string& key) const;

  std::map<Key, std::string> values;
  std::vector<std::string> reads;                 // keys, in order
  std::vector<std::string> writes;                // keys, in order
  std::map<std::string, std::string> fail_read;   // key -> description
  std::map<std::string, std::string> fail_write;  // key -> description
};

// Scripted answers for message boxes and dialogs; records what was shown.
class ScriptedUi : public Ui {
 public:
  struct Box {
    std::string prompt;
    MsgBoxButtons buttons;
    std::string title;
  };

  MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                      const std::string& title) override;
  void ShowFieldChooser(frmLookInFields& dialog) override;
  std::optional<size_t> PickFolder(const std::vector<FolderChoice>& folders) override;
  std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>& folders,
                                                 const std::vector<size_t>& checked,
                                                 const std::string& caption) override;
  void Repaint(const std::string& controlName) override;

  // Answers for the next boxes, in order; a box with no answer left fails the
  // test and is answered Cancel/No.
  std::deque<MsgBoxResult> answers;
  std::vector<Box> boxes;
  // What the user does in the field chooser (its buttons); nothing by default.
  std::function<void(frmLookInFields&)> field_chooser;
  int field_chooser_shown = 0;
  std::optional<size_t> pick_folder_answer;
  std::optional<std::vector<size_t>> pick_folders_answer;
  // What the last PickFolders offered, had checked and showed as caption.
  std::vector<FolderChoice> pick_folders_offered;
  std::vector<size_t> pick_folders_checked;
  std::vector<std::string> pick_folders_captions;  // one per call
  std::vector<std::string> repaints;
};

// The multi-folder picker: answers from `answer` (nothing: Cancel).
class FakePicker : public MultiFolderPicker {
 public:
  FakePicker(std::optional<FolderList> answer, std::optional<std::string> failure,
             std::vector<std::string>* captions)
      : answer_(std::move(answer)), failure_(std::move(failure)), captions_(captions) {}
  bool PickFolders(Application& app, bool flag, FolderList& folders,
                   const std::string& caption) override;

 private:
  std::optional<FolderList> answer_;
  std::optional<std::string> failure_;
  std::vector<std::string>* captions_;
};

// A matcher for literal patterns only, case folding ASCII letters: enough for
// tests of the page and the engine, which must not depend on the real one.
class LiteralMatcher : public PatternMatcher {
 public:
  void SetCaseSensitive(bool caseSensitive) override { case_sensitive_ = caseSensitive; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetPattern(const std::string& pattern) override;
  int32_t MatchCount() override;
  void SetReplace(const std::string& replacement) override;
  std::string Text() override { return text_; }
  std::vector<Match> Matches(const std::string& replacement) override;

  std::optional<std::string> fail_pattern;  // SetPattern throws this
  bool case_sensitive() const { return case_sensitive_; }

 private:
  bool case_sensitive_ = false;
  std::string text_;
  std::string pattern_;
};

class FakeComponents : public Components {
 public:
  std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) override;
  std::unique_ptr<ActivityLogger> CreateActivityLogger() override;
  std::unique_ptr<MultiFolderPicker> CreateMultiFolderPicker() override;
  std::unique_ptr<PatternMatcher> CreatePatternMatcher() override;
  SupportComponent& Support() override { return support; }
  SettingsStore& Settings() override { return settings; }
  Ui& ui() override { return ui_; }

  FakeSupport support;
  FakeSettings settings;
  ScriptedUi ui_;

  std::vector<LogLine> log;
  // The logger fails on this line (1-based count of all lines), once.
  std::optional<int> fail_log_line;
  std::string fail_log_description = "Permission denied";
  int log_attempts = 0;

  std::optional<std::string> fail_create_safe_item;  // CreateSafeItem throws this
  int safe_items_created = 0;

  std::optional<FolderList> picker_answer;
  std::optional<std::string> picker_failure;
  std::vector<std::string> picker_captions;

  // The page's matcher, as made (owned by the page).
  LiteralMatcher* matcher = nullptr;

  // Undo records only, as (procedure, message).
  std::vector<std::string> UndoMessages() const;
  // Progress lines only, as "procedure|message".
  std::vector<std::string> ProgressLines() const;
};

}  // namespace tidewell::testing
