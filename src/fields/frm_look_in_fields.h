// The field chooser dialog's model: one check box per catalog row, the
// special-instruction box and the group buttons. It holds nothing between
// showings; OK writes every choice to the settings store.
//
//   frmLookInFields dialog(settings, support);
//   dialog.Form_Load();                     // fills the boxes from the store
//   dialog.cmdContactClearAllFields_Click();
//   dialog.cmdContactPhoneNumbers_Click();
//   dialog.cmdOk_Click();                   // 56 writes, then closed
#pragma once

#include <array>
#include <memory>

#include "fields/field_catalog.h"
#include "page/controls.h"
#include "platform/settings_store.h"
#include "platform/support.h"

namespace tidewell {

class frmLookInFields {
 public:
  frmLookInFields(SettingsStore& settings, SupportComponent& support);

  // Loads the boxes and the special instruction from the store. A store
  // failure is reported ("Error occurred.  Reason: ..." under
  // "Tidewell.frmLookInFields") and closes the dialog.
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

  // Writes every row in catalog order (and the special instruction between
  // rows 41 and 42), then closes. A store failure is reported as for
  // Form_Load; keys written before it stay written.
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
  SettingsStore& settings_;
  SupportComponent& support_;
  std::array<std::unique_ptr<CheckBox>, kFieldCatalog.size()> boxes_;
  bool open_ = true;
};

}  // namespace tidewell
