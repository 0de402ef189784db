#include <algorithm>

#include "cli/command_context.h"
#include "cli/suggestions.h"
#include "fields/field_catalog.h"
#include "fields/frm_look_in_fields.h"

namespace tidewell::cli {

bool FieldSelectionSaved(Context& c) {
  const std::string app = c.env.watched.AppName();
  constexpr const char* kAbsent = "\x01";
  return std::any_of(kFieldCatalog.begin(), kFieldCatalog.end(), [&](const CatalogRow& row) {
    return c.env.settings.GetSetting(app, kSettingsSection, row.key, kAbsent) != kAbsent;
  });
}

std::vector<const CatalogRow*> NamedFields(const std::vector<std::string>& names,
                                           const std::string& where) {
  std::vector<const CatalogRow*> rows;
  for (const std::string& name : names) {
    const std::vector<const CatalogRow*> named = FieldsNamed(name);
    if (named.empty()) {
      throw UsageError(WithSuggestion(
          "Unknown field '" + name + "'" + where + " (see 'tidewell fields --list').", name,
          FieldNames()));
    }
    for (const CatalogRow* row : named) {
      if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
    }
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

int Show(Context& c) {
  if (!c.invocation.arguments.empty()) {
    FieldSelection selection;
    LoadFieldSelection(selection, c.env.settings, c.env.watched);
    for (const CatalogRow* row : NamedFields(c.invocation.arguments, "")) {
      c.out << row->key << ": " << selection[*row] << '\n';
    }
    return kDone;
  }
  auto page = c.ShownPage();
  c.out << "SearchFor: " << page->txtSearchFor.Text() << '\n'
        << "ReplaceWith: " << page->txtReplaceWith.Text() << '\n'
        << "CaseSensitive: " << page->chkCaseSensitive.Value() << '\n'
        << kRegexKey << ": " << RegexSetting(c.env.settings, c.env.watched) << '\n';
  const FolderList folders = page->Folders().value_or(FolderList{});
  c.out << "FolderCount: " << folders.size() << '\n';
  for (size_t n = 1; n <= folders.size(); ++n) {
    const FolderRecord& folder = folders[n - 1];
    c.out << "FolderName" << n << ": " << folder.Name() << '\n'
          << "FolderEntryId" << n << ": " << folder.EntryID() << '\n'
          << "FolderStoreId" << n << ": " << folder.StoreID() << '\n';
  }
  FieldSelection selection;
  LoadFieldSelection(selection, c.env.settings, c.env.watched);
  if (!FieldSelectionSaved(c)) c.err << kNoFieldSaved << '\n';
  for (const CatalogRow& row : kFieldCatalog) {
    c.out << row.key << ": " << selection[row] << '\n';
    if (Number(row) == kLastContactRow) {
      c.out << kSpecialInstructionsKey << ": " << selection.SpecialInstructions << '\n';
    }
  }
  return kDone;
}

std::string SearchText(Context& c) {
  std::optional<std::string> search;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--search") search = o.value;
  }
  return search ? *search
                : c.env.settings.GetSetting(c.env.watched.AppName(), kSettingsSection, "SearchFor",
                                            "");
}

void CheckPattern(Context& c, bool regex) {
  if (std::string fault = NewPatternMatcher(regex)->Check(SearchText(c)); !fault.empty()) {
    throw UsageError(fault);
  }
}

int Set(Context& c) {
  std::vector<std::string> named_folders;
  std::optional<bool> regex;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--folder") named_folders.push_back(o.value);
    if (o.name == "--regex") regex = o.value == "1";
  }
  CheckPattern(c, regex.value_or(RegexSetting(c.env.settings, c.env.watched)));
  std::optional<std::vector<size_t>> picked;
  if (!named_folders.empty()) picked = ResolveFolders(c, named_folders);

  auto page = c.ShownPage();
  for (const Option& o : c.invocation.options) {
    if (o.name == "--search") page->txtSearchFor.SetText(o.value);
    if (o.name == "--replace") page->txtReplaceWith.SetText(o.value);
    if (o.name == "--case") page->chkCaseSensitive.SetValue(o.value == "1" ? 1 : 0);
  }
  if (picked) {
    c.ui.folders_to_pick = picked;
    page->cmdChooseMultiFolder.Press();
    if (c.Reported("Tidewell.ChooseMultiFolderButton")) return kFailed;
  }
  page->Apply();
  if (regex) SaveRegexSetting(c.env.settings, c.env.watched, *regex);
  return kDone;
}

int ListFields(Context& c) {
  for (const CatalogRow& row : kFieldCatalog) {
    c.out << KindName(row.kind) << '\t' << row.key << '\t' << row.property << '\t' << row.caption
          << '\n';
  }
  return kDone;
}

int Fields(Context& c) {
  if (c.Given("--list")) return ListFields(c);
  for (const Option& o : c.invocation.options) {
    if (o.name == "--tick" || o.name == "--untick") NamedFields({o.value}, "");
  }

  frmLookInFields dialog(c.env.settings, c.env.watched);
  dialog.Form_Load();
  if (!dialog.IsOpen()) return kFailed;
  for (const Option& o : c.invocation.options) {
    if (o.name == "--select-all") dialog.cmdContactSelectAllFields.Press();
    if (o.name == "--clear-all") dialog.cmdContactClearAllFields.Press();
    if (o.name == "--phone") dialog.cmdContactPhoneNumbers.Press();
    if (o.name == "--zip") dialog.cmdContactZipPostalCodes.Press();
    if (o.name == "--email") dialog.cmdContactEmailAddresses.Press();
    if (o.name == "--appointments") {
      (o.value == "all" ? dialog.cmdAppointmentSelectAllFields
                        : dialog.cmdAppointmentClearAllFields)
          .Press();
    }
    if (o.name == "--tasks") {
      (o.value == "all" ? dialog.cmdTaskSelectAllFields : dialog.cmdTaskClearAllFields).Press();
    }
    if (o.name == "--tick" || o.name == "--untick") {
      for (const CatalogRow* row : NamedFields({o.value}, "")) {
        dialog.chk(row->key).SetValue(o.name == "--tick" ? 1 : 0);
      }
    }
    if (o.name == "--special") dialog.cboSpecialInstructions.SetText(o.value);
  }
  dialog.cmdOk.Press();
  return c.Reported("Tidewell.frmLookInFields") ? kFailed : kDone;
}

bool GivesPageSettings(const Invocation& invocation) {
  return std::any_of(invocation.options.begin(), invocation.options.end(), [](const Option& o) {
    return o.name == "--search" || o.name == "--replace" || o.name == "--case" ||
           o.name == "--regex" || o.name == "--folder" || o.name == "--fields" ||
           o.name == "--area-codes-only";
  });
}

std::vector<std::string> FieldWords(const std::string& list) {
  std::vector<std::string> words;
  size_t from = 0;
  while (true) {
    const size_t comma = list.find(',', from);
    words.push_back(list.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  for (const std::string& word : words) {
    const bool preset = word == "all" || word == "phone" || word == "zip" || word == "email" ||
                        word == "appointments" || word == "tasks";
    if (!preset) NamedFields({word}, " in --fields");
  }
  return words;
}

void CheckBeforeStart(const Invocation& invocation) {
  if (invocation.command != "set" && invocation.command != "replace") return;
  std::optional<bool> regex;
  for (const Option& o : invocation.options) {
    if (o.name == "--regex") regex = o.value.empty() || o.value == "1";
  }
  int texts = 0;
  for (const Option& o : invocation.options) {
    if (o.name == "--search") {
      ++texts;
      std::string fault = NewPatternMatcher(regex.value_or(false))->Check(o.value);
      if (!regex && !fault.empty() && NewPatternMatcher(true)->Check(o.value).empty()) fault = "";
      if (!fault.empty()) throw UsageError(fault);
    }
    if (o.name == "--replace") ++texts;
    if (o.name == "--fields") FieldWords(o.value);
  }
  if (invocation.command == "replace" && texts != 0 && texts != 2) {
    throw UsageError("--search and --replace go together, once each.");
  }
}

}  // namespace tidewell::cli
