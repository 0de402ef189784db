#include "page/uc1.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "page/page_layout.h"
#include "platform/failure.h"

namespace tidewell {

namespace {

constexpr const char* kStringSetName = "Tidewell";
constexpr const char* kResetHelpText = "ResetHelpText";

// Help text of each control by its page string. A label shares the text of
// the control it names; frames, containers and the progress bar have none.
struct HelpRow {
  const char* control;
  const char* page_string;
};
constexpr HelpRow kHelpRows[] = {
    {"lblSearchFor", "1"},    {"txtSearchFor", "1"},         {"chkCaseSensitive", "3"},
    {"lblReplaceWith", "5"},  {"txtReplaceWith", "5"},       {"lblLookIn", "7"},
    {"cmdChooseFields", "7"}, {"lblSearchIn", "9"},          {"lstFolderList", "9"},
    {"cmdChooseFolder", "9"}, {"cmdChooseMultiFolder", "9"}, {"cmdReplace", "11"},
    {"frameProgress", "13"},  {"lblFolderName", "15"},
};

void SetCaptionOf(Control& control, const std::string& caption) {
  if (auto* label = dynamic_cast<Label*>(&control)) {
    label->SetCaption(caption);
  } else if (auto* button = dynamic_cast<Button*>(&control)) {
    button->SetCaption(caption);
  } else if (auto* box = dynamic_cast<CheckBox*>(&control)) {
    box->SetCaption(caption);
  }
}

}  // namespace

UC1::UC1(Components& components)
    : regularExpressions(components.CreatePatternMatcher()),
      components_(components),
      journal_(components) {
  for (const ControlLayout& row : kPageLayout) {
    if (Control* control = FindControl(row.name)) SetCaptionOf(*control, row.caption);
  }

  txtSearchFor.Change = [this] { txtSearchFor_Change(); };
  txtReplaceWith.Change = [this] { txtReplaceWith_Change(); };
  chkCaseSensitive.Click = [this] { chkCaseSensitive_Click(); };
  cmdChooseFolder.Click = [this] { cmdChooseFolder_Click(); };
  cmdChooseMultiFolder.Click = [this] { cmdChooseMultiFolder_Click(); };
  cmdChooseFields.Click = [this] { cmdChooseFields_Click(); };
  cmdReplace.Click = [this] { cmdReplace_Click(); };

  lblSearchFor.MouseMove = [this] { lblSearchFor_MouseMove(); };
  txtSearchFor.MouseMove = [this] { txtSearchFor_MouseMove(); };
  chkCaseSensitive.MouseMove = [this] { chkCaseSensitive_MouseMove(); };
  lblReplaceWith.MouseMove = [this] { lblReplaceWith_MouseMove(); };
  txtReplaceWith.MouseMove = [this] { txtReplaceWith_MouseMove(); };
  lblLookIn.MouseMove = [this] { lblLookIn_MouseMove(); };
  cmdChooseFields.MouseMove = [this] { cmdChooseFields_MouseMove(); };
  lblSearchIn.MouseMove = [this] { lblSearchIn_MouseMove(); };
  lstFolderList.MouseMove = [this] { lstFolderList_MouseMove(); };
  cmdChooseFolder.MouseMove = [this] { cmdChooseFolder_MouseMove(); };
  cmdChooseMultiFolder.MouseMove = [this] { cmdChooseMultiFolder_MouseMove(); };
  cmdReplace.MouseMove = [this] { cmdReplace_MouseMove(); };
  frameProgress.MouseMove = [this] { frameProgress_MouseMove(); };
  lblFolderName.MouseMove = [this] { lblFolderName_MouseMove(); };
}

std::array<Control*, 20> UC1::Controls() {
  return {&frameSettings,        &lblSearchFor,   &txtSearchFor,  &chkCaseSensitive,
          &lblReplaceWith,       &txtReplaceWith, &lblLookIn,     &cmdChooseFields,
          &lblSearchIn,          &lstFolderList,  &Picture3,      &cmdChooseFolder,
          &cmdChooseMultiFolder, &frameWarning,   &Label1,        &Picture1,
          &cmdReplace,           &frameProgress,  &lblFolderName, &ProgressBar1};
}

Control* UC1::FindControl(const std::string& name) {
  for (Control* control : Controls()) {
    if (control->Name() == name) return control;
  }
  return nullptr;
}

void UC1::SetHost(std::shared_ptr<Host> theHost) { host_ = std::move(theHost); }

void UC1::Enabled(bool newEnabled) {
  for (Control* control : Controls()) control->SetEnabled(newEnabled);
}

std::string UC1::SendPropMessage(const std::string& theMessage, const std::string&) {
  if (theMessage == kResetHelpText) last_help_key_.clear();
  return "ok";
}

void UC1::WriteToLog(const std::string& functionName, const std::string& message) {
  journal_.WriteToLog(functionName, message);
}

void UC1::Show() {
  loading_ = true;
  // A failed show must not leave the page deaf to edits.
  struct LoadingEnds {
    bool& loading;
    ~LoadingEnds() { loading = false; }
  } loading_ends{loading_};

  page_strings_.clear();
  components_.Support().LoadStringSet(page_strings_, kStringSetName);
  BuildHelpTable();
  LoadValues();
  ResetHotHelp();
  dirty_ = false;
}

void UC1::Terminate() {
  help_texts_.clear();
  folders_.reset();
  host_.reset();
}

void UC1::SetDirty() {
  try {
    if (!loading_) {
      dirty_ = true;
      if (host_) host_->OnStatusChange();
    }
    ResetHotHelp();
  } catch (const std::exception& e) {
    journal_.Report(FailureFormatA(DescriptionOf(e)), "SetDirty");
  }
}

void UC1::txtSearchFor_Change() { SetDirty(); }
void UC1::txtReplaceWith_Change() { SetDirty(); }
void UC1::chkCaseSensitive_Click() { SetDirty(); }

void UC1::BuildHelpTable() {
  StringSet table;
  for (const HelpRow& row : kHelpRows) {
    table[row.control] = components_.Support().LookupText(page_strings_, row.page_string);
  }
  help_texts_ = std::move(table);
}

void UC1::ShowHotHelp(const std::string& key) {
  if (!host_) return;
  if (key.empty()) {
    last_help_key_.clear();
    host_->SetHotHelp("", second_help_text_);
    return;
  }
  if (key == last_help_key_) return;
  last_help_key_ = key;
  host_->SetHotHelp(components_.Support().LookupText(help_texts_, key), second_help_text_);
}

void UC1::ResetHotHelp() {
  second_help_text_.clear();
  ShowHotHelp("");
}

void UC1::lblSearchFor_MouseMove() { ShowHotHelp(lblSearchFor.Name()); }
void UC1::txtSearchFor_MouseMove() { ShowHotHelp(txtSearchFor.Name()); }
void UC1::chkCaseSensitive_MouseMove() { ShowHotHelp(chkCaseSensitive.Name()); }
void UC1::lblReplaceWith_MouseMove() { ShowHotHelp(lblReplaceWith.Name()); }
void UC1::txtReplaceWith_MouseMove() { ShowHotHelp(txtReplaceWith.Name()); }
void UC1::lblLookIn_MouseMove() { ShowHotHelp(lblLookIn.Name()); }
void UC1::cmdChooseFields_MouseMove() { ShowHotHelp(cmdChooseFields.Name()); }
void UC1::lblSearchIn_MouseMove() { ShowHotHelp(lblSearchIn.Name()); }
void UC1::lstFolderList_MouseMove() { ShowHotHelp(lstFolderList.Name()); }
void UC1::cmdChooseFolder_MouseMove() { ShowHotHelp(cmdChooseFolder.Name()); }
void UC1::cmdChooseMultiFolder_MouseMove() { ShowHotHelp(cmdChooseMultiFolder.Name()); }
void UC1::cmdReplace_MouseMove() { ShowHotHelp(cmdReplace.Name()); }
void UC1::frameProgress_MouseMove() { ShowHotHelp(frameProgress.Name()); }
void UC1::lblFolderName_MouseMove() { ShowHotHelp(lblFolderName.Name()); }

std::string UC1::ReadSetting(const std::string& key, const std::string& defaultValue) {
  return components_.Settings().GetSetting(components_.Support().AppName(), kSettingsSection, key,
                                           defaultValue);
}

void UC1::ForEachFolderSlot(
    int32_t count, const std::function<void(const std::string& slot, bool gapBefore)>& visit) {
  const std::optional<std::vector<std::string>> keys =
      components_.Settings().Keys(components_.Support().AppName(), kSettingsSection);
  if (!keys) {
    for (int32_t n = 1; n <= count; ++n) visit(std::to_string(n), false);
    return;
  }
  constexpr std::string_view kPrefix = "FolderName";
  std::vector<int32_t> slots;
  for (const std::string& key : *keys) {
    if (!key.starts_with(kPrefix)) continue;
    const std::string_view digits = std::string_view(key).substr(kPrefix.size());
    // Only the spelling the page writes ("FolderName7", never "FolderName07").
    if (digits.empty() || digits.size() > 10 || digits.front() == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const int64_t n = std::stoll(std::string(digits));
    if (n <= count) slots.push_back(static_cast<int32_t>(n));
  }
  std::sort(slots.begin(), slots.end());
  int32_t previous = 0;
  for (int32_t n : slots) {
    visit(std::to_string(n), n != previous + 1);
    previous = n;
  }
}

void UC1::WriteSetting(const std::string& key, const std::string& value) {
  components_.Settings().SaveSetting(components_.Support().AppName(), kSettingsSection, key, value);
}

Host& UC1::host() {
  if (!host_) throw Failure("Object variable or With block variable not set");
  return *host_;
}

}  // namespace tidewell
