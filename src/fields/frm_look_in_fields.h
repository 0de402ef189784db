// The field chooser dialog's model: one check box per catalog row, the
// special-instruction box and the group buttons. It holds nothing between
// showings; OK writes every choice to the settings store.
//
//   frmLookInFields dialog(settings, support);
//   dialog.Form_Load();                     // fills the boxes from the store
//   dialog.cmdContactClearAllFields_Click();
//   dialog.cmdContactPhoneNumbers_Click();
//   dialog.cmdOk_Click();                   // 57 writes, then closed
//
// File As is loaded and saved like every other box, but no group button
// touches it, so it is only searched when the user ticks it on purpose.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "controls/layout.h"
#include "fields/field_catalog.h"
#include "platform/settings_store.h"
#include "platform/support.h"

namespace tidewell {

inline constexpr const char* kLookInFieldsCaption = "Look In Fields";
// The dialog's client area, in twips (1/1440 inch; 15 to a pixel at 96 dpi).
inline constexpr int32_t kLookInFieldsWidth = 9420;
inline constexpr int32_t kLookInFieldsHeight = 9030;
inline constexpr const char* kLookInFieldsFontName = "Microsoft Sans Serif";
inline constexpr double kLookInFieldsFontPoints = 8.25;

// Where every control of the dialog sits (rows as controls/layout.h describes
// them), containers before what they hold, the 56 check boxes last in catalog
// order. The tab control vsIndexTab1 holds the pages Picture1 to Picture3.
const std::vector<ControlLayout>& LookInFieldsLayout();

class frmLookInFields {
 public:
  frmLookInFields(SettingsStore& settings, SupportComponent& support);

  // Loads the boxes and the special instruction from the store, in catalog
  // order. An absent key shows the row's dialog default; so does a stored
  // flag that is not a whole number. Any other non-zero number shows the box
  // ticked, as a run would look in that field. A store failure is reported
  // ("Error occurred.  Reason: ..." under "Tidewell.frmLookInFields") and
  // closes the dialog.
  void Form_Load();

  void cmdContactSelectAllFields_Click();
  void cmdContactClearAllFields_Click();
  void cmdContactPhoneNumbers_Click();
  void cmdContactZipPostalCodes_Click();
  void cmdContactEmailAddresses_Click();
  void cmdAppointmentSelectAllFields_Click();
  void cmdAppointmentClearAllFields_Click();
  void cmdTaskSelectAllFields_Click();
  void cmdTaskClearAllFields_Click();

  // Writes every row ("1" ticked, "0" cleared) in catalog order, with the
  // special instruction exactly as shown between rows 41 and 42, then
  // closes. A store failure is reported as for Form_Load and closes the
  // dialog; keys written before it stay written.
  void cmdOk_Click();
  // Closes without writing.
  void cmdCancel_Click();

  // False once OK, Cancel or a load failure closed the dialog.
  bool IsOpen() const { return open_; }

  // The check box of catalog row `number` (1 to 56), named "chk" + key.
  CheckBox& chk(int number);
  CheckBox& chk(const std::string& key);  // by setting key; throws Failure if unknown
  ComboBox cboSpecialInstructions{"cboSpecialInstructions"};

  // The buttons, for views: each Click is wired to its handler above.
  Button cmdOk{"cmdOk"};
  Button cmdCancel{"cmdCancel"};
  Button cmdContactSelectAllFields{"cmdContactSelectAllFields"};
  Button cmdContactClearAllFields{"cmdContactClearAllFields"};
  Button cmdContactPhoneNumbers{"cmdContactPhoneNumbers"};
  Button cmdContactZipPostalCodes{"cmdContactZipPostalCodes"};
  Button cmdContactEmailAddresses{"cmdContactEmailAddresses"};
  Button cmdAppointmentSelectAllFields{"cmdAppointmentSelectAllFields"};
  Button cmdAppointmentClearAllFields{"cmdAppointmentClearAllFields"};
  Button cmdTaskSelectAllFields{"cmdTaskSelectAllFields"};
  Button cmdTaskClearAllFields{"cmdTaskClearAllFields"};

 private:
  // Sets the box of every row that `pick` accepts to `value`.
  void SetRows(bool (*pick)(const CatalogRow&), int32_t value);
  void ReportAndClose(const std::exception& failure);

  SettingsStore& settings_;
  SupportComponent& support_;
  std::array<std::unique_ptr<CheckBox>, kFieldCatalog.size()> boxes_;
  bool open_ = true;
};

}  // namespace tidewell
