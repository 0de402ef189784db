#include "fields/field_catalog.h"

#include "fields/conversions.h"
#include "platform/failure.h"

namespace tidewell {

int32_t& FieldSelection::operator[](std::string_view key) {
  const CatalogRow* row = FindField(key);
  if (row == nullptr) throw Failure("There is no field '" + std::string(key) + "'.");
  return (*this)[*row];
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
