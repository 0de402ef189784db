#include "fields/frm_look_in_fields.h"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "fields/conversions.h"
#include "journal/journal.h"
#include "platform/failure.h"

namespace tidewell {

namespace {

using K = DialogControlKind;

constexpr const char* kReportName = "Tidewell.frmLookInFields";

constexpr const char* kGroupHint =
    "The items that are checked above will be considered when looking for the text to search "
    "for.  You can use these buttons to quickly select (or deselect) groups of commonly used "
    "fields.";

constexpr DialogControlLayout kControls[] = {
    {"cmdOk", K::kButton, "", "&OK", 6075, 8475, 1350, 330},
    {"cmdCancel", K::kButton, "", "&Cancel", 7590, 8475, 1350, 330},
    {"vsIndexTab1", K::kTabControl, "", "&Contacts|&Appointments|&Tasks", 75, 165, 9240, 8115},
    {"Picture1", K::kPage, "vsIndexTab1", "", 45, 330, 9150, 7740},
    {"Picture2", K::kPage, "vsIndexTab1", "", 45, 330, 9150, 7740},
    {"Picture3", K::kPage, "vsIndexTab1", "", 45, 330, 9150, 7740},
    {"frameSpecialInstructions", K::kFrame, "Picture1", "Special Instructions", 5715, 3975, 3285,
     1890},
    {"lblSpecialInstructions", K::kLabel, "frameSpecialInstructions",
     "Use this area to refine how phone numbers should be handled.  See the help file for more "
     "information about how to use this feature.",
     135, 285, 3030, 795},
    {"cboSpecialInstructions", K::kComboBox, "frameSpecialInstructions", "None", 150, 1215, 3030,
     315},
    {"Frame1", K::kFrame, "Picture1", "Common Search And Replace Functions", 165, 5865, 8835, 1740},
    {"Label1", K::kLabel, "Frame1",
     "The items that are checked above will be considered when looking for the text to search "
     "for.  You can use these buttons to quickly select (or deselect) groups of commonly used "
     "fields.  For example, to update area codes, click the Phone Numbers button and use the "
     "Email Addresses button to update domain names (in case a company changes it's domain "
     "name).",
     195, 285, 8400, 765},
    {"cmdContactSelectAllFields", K::kButton, "Frame1", "Select All Fields", 105, 1200, 1500, 375},
    {"cmdContactClearAllFields", K::kButton, "Frame1", "Clear All Fields", 1878, 1200, 1500, 375},
    {"cmdContactPhoneNumbers", K::kButton, "Frame1", "Phone Numbers", 3651, 1200, 1500, 375},
    {"cmdContactZipPostalCodes", K::kButton, "Frame1", "Zip/Postal Codes", 5424, 1200, 1500, 375},
    {"cmdContactEmailAddresses", K::kButton, "Frame1", "Email Addresses", 7200, 1200, 1500, 375},
    {"Frame2", K::kFrame, "Picture2", "Common Search And Replace Functions", 165, 5865, 8835, 1740},
    {"Label2", K::kLabel, "Frame2", kGroupHint, 195, 285, 8400, 765},
    {"cmdAppointmentSelectAllFields", K::kButton, "Frame2", "Select All Fields", 105, 1200, 1500,
     375},
    {"cmdAppointmentClearAllFields", K::kButton, "Frame2", "Clear All Fields", 1878, 1200, 1500,
     375},
    {"Frame3", K::kFrame, "Picture3", "Common Search And Replace Functions", 165, 5865, 8835, 1740},
    {"Label3", K::kLabel, "Frame3", kGroupHint, 195, 285, 8400, 765},
    {"cmdTaskSelectAllFields", K::kButton, "Frame3", "Select All Fields", 105, 1200, 1500, 375},
    {"cmdTaskClearAllFields", K::kButton, "Frame3", "Clear All Fields", 1878, 1200, 1500, 375},
};

// The dialog's page of each kind of field, in FieldKind order.
constexpr const char* kPages[] = {"Picture1", "Picture2", "Picture3"};

// "chk" + key for every row, in catalog order: the layout hands out their
// characters for as long as the program runs.
const std::array<std::string, kFieldCatalog.size()>& BoxNames() {
  static const std::array<std::string, kFieldCatalog.size()> names = [] {
    std::array<std::string, kFieldCatalog.size()> all;
    for (const CatalogRow& row : kFieldCatalog) {
      all[static_cast<size_t>(Number(row) - 1)] = std::string("chk") + row.key;
    }
    return all;
  }();
  return names;
}

// A stored flag as the box shows it: nothing when the text is not a whole
// number (a fraction included, which the run would round).
std::optional<int32_t> BoxState(const std::string& stored) {
  if (stored.find('.') != std::string::npos) return std::nullopt;
  try {
    return CLng(stored) != 0 ? 1 : 0;
  } catch (const Failure&) {
    return std::nullopt;
  }
}

bool IsContactBoxOfTheGroupButtons(const CatalogRow& row) {
  return row.kind == FieldKind::Contact && Number(row) != kFileAsRow;
}

}  // namespace

const std::vector<DialogControlLayout>& LookInFieldsLayout() {
  static const std::vector<DialogControlLayout> layout = [] {
    std::vector<DialogControlLayout> all(std::begin(kControls), std::end(kControls));
    for (const CatalogRow& row : kFieldCatalog) {
      const bool fileAs = Number(row) == kFileAsRow;
      all.push_back({BoxNames()[static_cast<size_t>(Number(row) - 1)].c_str(), K::kCheckBox,
                     kPages[static_cast<int>(row.kind)], row.caption, row.place.left, row.place.top,
                     fileAs ? 1830 : 2745, fileAs ? 210 : 195});
    }
    return all;
  }();
  return layout;
}

frmLookInFields::frmLookInFields(SettingsStore& settings, SupportComponent& support)
    : settings_(settings), support_(support) {
  for (const CatalogRow& row : kFieldCatalog) {
    const size_t index = static_cast<size_t>(Number(row) - 1);
    auto box = std::make_unique<CheckBox>(BoxNames()[index]);
    box->SetCaption(row.caption);
    boxes_[index] = std::move(box);
  }
  cboSpecialInstructions.SetText(kSpecialInstructionsDefault);

  const std::pair<Button*, void (frmLookInFields::*)()> handlers[] = {
      {&cmdOk, &frmLookInFields::cmdOk_Click},
      {&cmdCancel, &frmLookInFields::cmdCancel_Click},
      {&cmdContactSelectAllFields, &frmLookInFields::cmdContactSelectAllFields_Click},
      {&cmdContactClearAllFields, &frmLookInFields::cmdContactClearAllFields_Click},
      {&cmdContactPhoneNumbers, &frmLookInFields::cmdContactPhoneNumbers_Click},
      {&cmdContactZipPostalCodes, &frmLookInFields::cmdContactZipPostalCodes_Click},
      {&cmdContactEmailAddresses, &frmLookInFields::cmdContactEmailAddresses_Click},
      {&cmdAppointmentSelectAllFields, &frmLookInFields::cmdAppointmentSelectAllFields_Click},
      {&cmdAppointmentClearAllFields, &frmLookInFields::cmdAppointmentClearAllFields_Click},
      {&cmdTaskSelectAllFields, &frmLookInFields::cmdTaskSelectAllFields_Click},
      {&cmdTaskClearAllFields, &frmLookInFields::cmdTaskClearAllFields_Click},
  };
  for (const auto& [button, handler] : handlers) {
    button->Click = [this, handler = handler] { (this->*handler)(); };
  }
  for (const DialogControlLayout& control : kControls) {
    for (const auto& [button, handler] : handlers) {
      if (button->Name() == control.name) button->SetCaption(control.caption);
    }
  }
}

void frmLookInFields::Form_Load() {
  try {
    for (const CatalogRow& row : kFieldCatalog) {
      const std::string stored = settings_.GetSetting(support_.AppName(), kSettingsSection, row.key,
                                                      std::to_string(row.dialog_default));
      chk(Number(row)).SetValue(BoxState(stored).value_or(row.dialog_default));
      if (Number(row) == kLastContactRow) {
        cboSpecialInstructions.Clear();
        cboSpecialInstructions.AddItem(kSpecialInstructionsDefault);
        cboSpecialInstructions.AddItem(kOnlyAreaCodes);
        cboSpecialInstructions.SetText(settings_.GetSetting(support_.AppName(), kSettingsSection,
                                                            kSpecialInstructionsKey,
                                                            kSpecialInstructionsDefault));
      }
    }
  } catch (const std::exception& failure) {
    ReportAndClose(failure);
  }
}

void frmLookInFields::cmdContactSelectAllFields_Click() {
  SetRows(IsContactBoxOfTheGroupButtons, 1);
}

void frmLookInFields::cmdContactClearAllFields_Click() {
  SetRows(IsContactBoxOfTheGroupButtons, 0);
}

void frmLookInFields::cmdContactPhoneNumbers_Click() {
  SetRows([](const CatalogRow& row) { return row.preset == PresetGroup::Phone; }, 1);
}

void frmLookInFields::cmdContactZipPostalCodes_Click() {
  SetRows([](const CatalogRow& row) { return row.preset == PresetGroup::Zip; }, 1);
}

void frmLookInFields::cmdContactEmailAddresses_Click() {
  SetRows([](const CatalogRow& row) { return row.preset == PresetGroup::Email; }, 1);
}

void frmLookInFields::cmdAppointmentSelectAllFields_Click() {
  SetRows([](const CatalogRow& row) { return row.kind == FieldKind::Appointment; }, 1);
}

void frmLookInFields::cmdAppointmentClearAllFields_Click() {
  SetRows([](const CatalogRow& row) { return row.kind == FieldKind::Appointment; }, 0);
}

void frmLookInFields::cmdTaskSelectAllFields_Click() {
  SetRows([](const CatalogRow& row) { return row.kind == FieldKind::Task; }, 1);
}

void frmLookInFields::cmdTaskClearAllFields_Click() {
  SetRows([](const CatalogRow& row) { return row.kind == FieldKind::Task; }, 0);
}

void frmLookInFields::cmdOk_Click() {
  try {
    for (const CatalogRow& row : kFieldCatalog) {
      settings_.SaveSetting(support_.AppName(), kSettingsSection, row.key,
                            std::to_string(chk(Number(row)).Value()));
      if (Number(row) == kLastContactRow) {
        settings_.SaveSetting(support_.AppName(), kSettingsSection, kSpecialInstructionsKey,
                              cboSpecialInstructions.Text());
      }
    }
    open_ = false;
  } catch (const std::exception& failure) {
    ReportAndClose(failure);
  }
}

void frmLookInFields::cmdCancel_Click() { open_ = false; }

CheckBox& frmLookInFields::chk(int number) {
  if (number < 1 || number > static_cast<int>(boxes_.size())) {
    throw Failure("There is no catalog row " + std::to_string(number) + ".");
  }
  return *boxes_[static_cast<size_t>(number - 1)];
}

CheckBox& frmLookInFields::chk(const std::string& key) {
  for (const CatalogRow& row : kFieldCatalog) {
    if (key == row.key) return chk(Number(row));
  }
  throw Failure("There is no field '" + key + "'.");
}

void frmLookInFields::SetRows(bool (*pick)(const CatalogRow&), int32_t value) {
  for (const CatalogRow& row : kFieldCatalog) {
    if (pick(row)) chk(Number(row)).SetValue(value);
  }
}

void frmLookInFields::ReportAndClose(const std::exception& failure) {
  support_.ReportError(FailureFormatA(DescriptionOf(failure)), false, kReportName);
  open_ = false;
}

}  // namespace tidewell
