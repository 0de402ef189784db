#include "fields/field_catalog.h"

#include "fields/conversions.h"
#include "platform/failure.h"

namespace tidewell {

int32_t& FieldSelection::operator[](std::string_view key) {
  const CatalogRow* row = FindField(key);
  if (row == nullptr) throw Failure("There is no field '" + std::string(key) + "'.");
  return (*this)[*row];
}

namespace {

// A name as it is compared: ASCII letters in lower case, blanks dropped.
std::string Folded(std::string_view name) {
  std::string folded;
  for (char ch : name) {
    if (ch == ' ' || ch == '\t') continue;
    folded += ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
  }
  return folded;
}

}  // namespace

std::vector<const CatalogRow*> FieldsNamed(std::string_view name) {
  std::string wanted = Folded(name);
  // "BusinessTelephoneNumber#3": a value beyond the kind's rows, journalled
  // under its first row's property.
  if (const size_t hash = wanted.rfind('#');
      hash != std::string::npos && hash > 0 && hash + 1 < wanted.size() &&
      wanted.find_first_not_of("0123456789", hash + 1) == std::string::npos) {
    wanted.resize(hash);
  }
  std::vector<const CatalogRow*> rows;
  for (const CatalogRow& row : kFieldCatalog) {
    if (Folded(row.key) == wanted || Folded(row.property) == wanted ||
        Folded(row.caption) == wanted) {
      rows.push_back(&row);
    }
  }
  return rows;
}

const char* KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::Contact:
      return "contact";
    case FieldKind::Appointment:
      return "appointment";
    case FieldKind::Task:
      return "task";
  }
  return "";
}

void LoadFieldSelection(FieldSelection& selection, SettingsStore& settings,
                        SupportComponent& support) {
  for (const CatalogRow& row : kFieldCatalog) {
    selection[row] = CLng(settings.GetSetting(support.AppName(), kSettingsSection, row.key, "0"));
    if (Number(row) == kLastContactRow) {
      selection.SpecialInstructions =
          settings.GetSetting(support.AppName(), kSettingsSection, kSpecialInstructionsKey,
                              kSpecialInstructionsDefault);
    }
  }
}

}  // namespace tidewell
