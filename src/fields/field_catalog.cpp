#include "fields/field_catalog.h"

#include "fields/conversions.h"

namespace tidewell {

void LoadFieldSelection(FieldSelection& selection, SettingsStore& settings,
                        SupportComponent& support) {
  for (const CatalogRow& row : kFieldCatalog) {
    selection.*row.flag =
        CLng(settings.GetSetting(support.AppName(), kSettingsSection, row.key, "0"));
    if (row.number == kLastContactRow) {
      selection.SpecialInstructions =
          settings.GetSetting(support.AppName(), kSettingsSection, kSpecialInstructionsKey,
                              kSpecialInstructionsDefault);
    }
  }
}

}  // namespace tidewell
