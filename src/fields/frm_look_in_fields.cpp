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

using K = ControlKind;

constexpr const char* kReportName = "Tidewell.frmLookInFields";

constexpr const char* kGroupHint =
    "The items that are checked above will be considered when looking for the text to search "
    "for.  You can use these buttons to quickly select (or deselect) groups of commonly used "
    "fields.";

constexpr ControlLayout kControls[] = {
    {"cmdOk", K::kButton, "", 6075, 8475, 1350, 330, "&OK"},
    {"cmdCancel", K::kButton, "", 7590, 8475, 1350, 330, "&Cancel"},
    {"vsIndexTab1", K::kTabControl, "", 75, 165, 9240, 8115, "&Contacts|&Appointments|&Tasks"},
    {"Picture1", K::kPage, "vsIndexTab1", 45, 330, 9150, 7740, ""},
    {"Picture2", K::kPage, "vsIndexTab1", 45, 330, 9150, 7740, ""},
    {"Picture3", K::kPage, "vsIndexTab1", 45, 330, 9150, 7740, ""},
    {"frameSpecialInstructions", K::kFrame, "Picture1", 5715, 3975, 3285, 1890,
     "Special Instructions"},
    {"lblSpecialInstructions", K::kLabel, "frameSpecialInstructions", 135, 285, 3030, 795,
     "Use this area to refine how phone numbers should be handled.  See the help file for more "
     "information about how to use this feature."},
    {"cboSpecialInstructions", K::kComboBox, "frameSpecialInstructions", 150, 1215, 3030, 315,
     "None"},
    {"Frame1", K::kFrame, "Picture1", 165, 5865, 8835, 1740, "Common Search And Replace Functions"},
    {"Label1", K::kLabel, "Frame1", 195, 285, 8400, 765,
     "The items that are checked above will be considered when looking for the text to search "
     "for.  You can use these buttons to quickly select (or deselect) groups of commonly used "
     "fields.  For example, to update area codes, click the Phone Numbers button and use the "
     "Email Addresses button to update domain names (in case a company changes it's domain "
     "name)."},
    {"cmdContactSelectAllFields", K::kButton, "Frame1", 105, 1200, 1500, 375, "Select All Fields"},
    {"cmdContactClearAllFields", K::kButton, "Frame1", 1878, 1200, 1500, 375, "Clear All Fields"},
    {"cmdContactPhoneNumbers", K::kButton, "Frame1", 3651, 1200, 1500, 375, "Phone Numbers"},
    {"cmdContactZipPostalCodes", K::kButton, "Frame1", 5424, 1200, 1500, 375, "Zip/Postal Codes"},
    {"cmdContactEmailAddresses", K::kButton, "Frame1", 7200, 1200, 1500, 375, "Email Addresses"},
    {"Frame2", K::kFrame, "Picture2", 165, 5865, 8835, 1740, "Common Search And Replace Functions"},
    {"Label2", K::kLabel, "Frame2", 195, 285, 8400, 765, kGroupHint},
    {"cmdAppointmentSelectAllFields", K::kButton, "Frame2", 105, 1200, 1500, 375,
     "Select All Fields"},
    {"cmdAppointmentClearAllFields", K::kButton, "Frame2", 1878, 1200, 1500, 375,
     "Clear All Fields"},
    {"Frame3", K::kFrame, "Picture3", 165, 5865, 8835, 1740, "Common Search And Replace Functions"},
    {"Label3", K::kLabel, "Frame3", 195, 285, 8400, 765, kGroupHint},
    {"cmdTaskSelectAllFields", K::kButton, "Frame3", 105, 1200, 1500, 375, "Select All Fields"},
    {"cmdTaskClearAllFields", K::kButton, "Frame3", 1878, 1200, 1500, 375, "Clear All Fields"},
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

const std::vector<ControlLayout>& LookInFieldsLayout() {
  static const std::vector<ControlLayout> layout = [] {
    std::vector<ControlLayout> all(std::begin(kControls), std::end(kControls));
    for (const CatalogRow& row : kFieldCatalog) {
      const bool fileAs = Number(row) == kFileAsRow;
      all.push_back({BoxNames()[static_cast<size_t>(Number(row) - 1)].c_str(), K::kCheckBox,
                     kPages[static_cast<int>(row.kind)], row.place.left, row.place.top,
                     fileAs ? 1830 : 2745, fileAs ? 210 : 195, row.caption});
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
  for (const ControlLayout& control : kControls) {
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
