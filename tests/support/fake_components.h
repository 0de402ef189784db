// Recording and failing fakes of the outside components: support component,
// settings store, activity logger, folder picker, Ui and a literal matcher.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/components.h"
#include "platform/failure.h"
#include "support/fake_store.h"

namespace tidewell::testing {

using Texts = std::vector<std::string>;

// Blank-separated words.
inline Texts Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct LogLine {
  std::string source;
  std::string procedure;
  std::string message;
  int32_t undo;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

class FakeSupport : public SupportComponent {
 public:
  std::string AppName() override {
    ++app_name_calls;
    if (fail_app_name) throw Failure(*fail_app_name);
    return "Marrowby";
  }
  void ReportError(const std::string& message, bool flag, const std::string& procedure) override {
    reports.push_back(procedure + "|" + message + (flag ? "|flag set" : ""));
  }
  void LoadStringSet(StringSet& set, const std::string& name) override {
    if (name != "Tidewell") throw Failure("No string set named '" + name + "'.");
    set = strings;
  }
  std::string LookupText(const StringSet& set, const std::string& key) override {
    if (!set.contains(key)) throw Failure("Invalid procedure call or argument");
    return set.at(key);
  }

  Texts Reports() const { return reports; }

  Texts reports;  // as "procedure|message", "|flag set" appended when the flag is
  int app_name_calls = 0;
  std::optional<std::string> fail_app_name;  // AppName throws this
  StringSet strings = {
      {"1", "help 1"},   {"3", "help 3"},   {"5", "help 5"},
      {"7", "help 7"},   {"9", "help 9"},   {"11", "help 11"},
      {"13", "help 13"}, {"15", "help 15"}, {"17", "Choose the folders to search"}};
};

// Settings in memory; every read and write is recorded, and a key can fail.
class FakeSettings : public SettingsStore {
 public:
  using Key = std::tuple<std::string, std::string, std::string>;  // app, section, key

  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override {
    reads.push_back(key);
    if (fail_read.contains(key)) throw Failure(fail_read.at(key));
    const auto found = values.find({appName, section, key});
    return found == values.end() ? defaultValue : found->second;
  }
  std::optional<std::vector<std::string>> Keys(const std::string& appName,
                                               const std::string& section) override {
    ++key_listings;
    if (!lists_keys) return std::nullopt;
    std::vector<std::string> keys;
    for (const auto& [key, value] : values) {
      if (std::get<0>(key) == appName && std::get<1>(key) == section)
        keys.push_back(std::get<2>(key));
    }
    return keys;
  }
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override {
    if (fail_write.contains(key)) throw Failure(fail_write.at(key));
    writes.push_back(key);
    values[{appName, section, key}] = value;
  }

  // The page's own section, "Tidewell" under "Marrowby".
  void Put(const std::string& key, const std::string& value) { values[Page(key)] = value; }
  void Erase(const std::string& key) { values.erase(Page(key)); }
  std::optional<std::string> Value(const std::string& key) const {
    const auto found = values.find(Page(key));
    return found == values.end() ? std::nullopt : std::optional(found->second);
  }
  static Key Page(const std::string& key) { return {"Marrowby", "Tidewell", key}; }

  std::map<Key, std::string> values;
  Texts reads;   // keys, in order
  Texts writes;  // keys, in order
  int key_listings = 0;
  bool lists_keys = true;                         // false: a store that cannot list its keys
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

  // Answers from `answers`; a box with none left fails the test.
  MsgBoxResult MsgBox(const std::string& prompt, MsgBoxButtons buttons,
                      const std::string& title) override {
    boxes.push_back({prompt, buttons, title});
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected message box: " << prompt;
      return buttons == MsgBoxButtons::YesNo ? MsgBoxResult::No : MsgBoxResult::Cancel;
    }
    const MsgBoxResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowFieldChooser(frmLookInFields& dialog) override {
    ++field_chooser_shown;
    if (field_chooser) field_chooser(dialog);
  }
  std::optional<size_t> PickFolder(const std::vector<FolderChoice>&) override {
    return pick_folder_answer;
  }
  std::optional<std::vector<size_t>> PickFolders(const std::vector<FolderChoice>& folders,
                                                 const std::vector<size_t>& checked,
                                                 const std::string& caption) override {
    pick_folders_offered = folders;
    pick_folders_checked = checked;
    pick_folders_captions.push_back(caption);
    return pick_folders_answer;
  }
  void Repaint(const std::string&) override {}

  std::deque<MsgBoxResult> answers;
  std::vector<Box> boxes;
  std::function<void(frmLookInFields&)> field_chooser;  // what the user does in it
  int field_chooser_shown = 0;
  std::optional<size_t> pick_folder_answer;
  std::optional<std::vector<size_t>> pick_folders_answer;
  // What the last PickFolders offered and had checked; the caption of each.
  std::vector<FolderChoice> pick_folders_offered;
  std::vector<size_t> pick_folders_checked;
  Texts pick_folders_captions;
};

// A matcher that lists its matches; counting and replacing follow the list.
class ListingMatcher : public PatternMatcher {
 public:
  // The fakes take every pattern; the page checks none itself.
  std::string Check(const std::string&) const override { return ""; }
  void SetCaseSensitive(bool caseSensitive) override { case_sensitive_ = caseSensitive; }
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() override { return text_; }
  int32_t MatchCount() override { return static_cast<int32_t>(Matches("").size()); }
  void SetReplace(const std::string& replacement) override {
    std::string result;
    size_t at = 0;
    const MatchList matches = Matches(replacement);
    for (size_t k = 0; k < matches.size(); ++k) {
      result += text_.substr(at, matches[k].begin - at) + matches.Replacement(k);
      at = matches[k].end;
    }
    text_ = result + text_.substr(at);
  }

 protected:
  bool case_sensitive_ = false;
  std::string text_;
};

// Literal patterns only, ASCII letters folded: the page's and the engine's
// tests must not depend on the real matcher.
class LiteralMatcher : public ListingMatcher {
 public:
  void SetPattern(const std::string& pattern) override {
    if (fail_pattern) throw Failure(*fail_pattern);
    pattern_ = pattern;
  }
  MatchList Matches(const std::string& replacement) override {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    const auto same = [&](char a, char b) { return case_sensitive_ ? a == b : fold(a) == fold(b); };
    MatchList found{{}, {replacement}};
    for (size_t i = 0; !pattern_.empty() && i + pattern_.size() <= text_.size();) {
      if (std::equal(pattern_.begin(), pattern_.end(), text_.begin() + long(i), same)) {
        found.Add(i, i + pattern_.size());
        i += pattern_.size();
      } else {
        ++i;
      }
    }
    return found;
  }

  std::optional<std::string> fail_pattern;  // SetPattern throws this

 private:
  std::string pattern_;
};

class FakeComponents : public Components {
 public:
  std::unique_ptr<SafeItem> CreateSafeItem(const std::string& progId) override {
    if (fail_create_safe_item) throw Failure(*fail_create_safe_item);
    ++safe_items_created;
    return std::make_unique<FakeSafeItem>(progId);
  }
  std::unique_ptr<ActivityLogger> CreateActivityLogger() override {
    return std::make_unique<Logger>(*this);
  }
  std::unique_ptr<MultiFolderPicker> CreateMultiFolderPicker() override {
    return std::make_unique<Picker>(*this);
  }
  std::unique_ptr<PatternMatcher> CreatePatternMatcher() override {
    return std::make_unique<LiteralMatcher>();
  }
  SupportComponent& Support() override { return support; }
  SettingsStore& Settings() override { return settings; }
  Ui& ui() override { return ui_; }

  Texts UndoMessages() const { return Lines(true); }    // the undo records' messages
  Texts ProgressLines() const { return Lines(false); }  // the others, as "procedure|message"

  FakeSupport support;
  FakeSettings settings;
  ScriptedUi ui_;

  std::vector<LogLine> log;
  // The logger fails once, on this line (counting every line tried), with
  // "Permission denied".
  std::optional<int> fail_log_line;
  int log_attempts = 0;

  std::optional<std::string> fail_create_safe_item;  // CreateSafeItem throws this
  int safe_items_created = 0;

  // The multi-folder picker's answer (nothing: Cancel) or failure, and its captions.
  std::optional<FolderList> picker_answer;
  std::optional<std::string> picker_failure;
  Texts picker_captions;

 private:
  struct Logger : ActivityLogger {
    explicit Logger(FakeComponents& o) : owner(o) {}
    void Write(const std::string& source, const std::string& procedure, const std::string& message,
               int32_t undo) override {
      if (owner.fail_log_line == ++owner.log_attempts) throw Failure("Permission denied");
      owner.log.push_back({source, procedure, message, undo});
    }
    FakeComponents& owner;
  };

  struct Picker : MultiFolderPicker {
    explicit Picker(FakeComponents& o) : owner(o) {}
    bool PickFolders(Application&, bool, FolderList& folders, const std::string& caption) override {
      owner.picker_captions.push_back(caption);
      if (owner.picker_failure) throw Failure(*owner.picker_failure);
      if (owner.picker_answer) folders = *owner.picker_answer;
      return owner.picker_answer.has_value();
    }
    FakeComponents& owner;
  };

  Texts Lines(bool undo) const {
    Texts out;
    for (const LogLine& line : log) {
      if ((line.undo != 0) != undo) continue;
      out.push_back(undo ? line.message : line.procedure + "|" + line.message);
    }
    return out;
  }
};

}  // namespace tidewell::testing
