// The fields a replace run can look in, and the page's record of which ones
// it does.
//
// The catalog is one table of 56 rows: 41 contact fields, 5 appointment
// fields, 10 task fields. Its order is the order of FieldSelection's members,
// of the settings reads and writes, and of the fields within one item.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/settings_store.h"
#include "platform/support.h"

namespace tidewell {

// One flag per catalog row (non-zero: the run looks in that field), and the
// special instruction for phone numbers between the contact and appointment
// flags. Every member is 0 / "" until the first LoadFieldSelection.
struct FieldSelection {
  int32_t AccountName = 0;
  int32_t AssistantsPhone = 0;
  int32_t BusinessStreetAddress = 0;
  int32_t BusinessCity = 0;
  int32_t BusinessState = 0;
  int32_t BusinessZip = 0;
  int32_t Body = 0;
  int32_t BusinessPhone = 0;
  int32_t BusinessPhone2 = 0;
  int32_t BusinessFax = 0;
  int32_t BusinessHomePage = 0;
  int32_t CallbackPhone = 0;
  int32_t CarPhone = 0;
  int32_t CompanyMainPhone = 0;
  int32_t CompanyName = 0;
  int32_t EmailAddress = 0;
  int32_t Email2Address = 0;
  int32_t Email3Address = 0;
  int32_t EmailDisplayAs = 0;
  int32_t Email2DisplayAs = 0;
  int32_t Email3DisplayAs = 0;
  int32_t FileAs = 0;
  int32_t HomeStreetAddress = 0;
  int32_t HomeCity = 0;
  int32_t HomeState = 0;
  int32_t HomeZip = 0;
  int32_t HomePhone = 0;
  int32_t HomePhone2 = 0;
  int32_t HomeFax = 0;
  int32_t MobilePhone = 0;
  int32_t OfficeLocation = 0;
  int32_t OtherStreetAddress = 0;
  int32_t OtherCity = 0;
  int32_t OtherState = 0;
  int32_t OtherZip = 0;
  int32_t OtherPhone = 0;
  int32_t OtherFax = 0;
  int32_t Pager = 0;
  int32_t PrimaryPhone = 0;
  int32_t RadioPhone = 0;
  int32_t TTYPhone = 0;
  std::string SpecialInstructions;
  int32_t AppointmentSubject = 0;
  int32_t AppointmentLocation = 0;
  int32_t AppointmentStart = 0;
  int32_t AppointmentEnd = 0;
  int32_t AppointmentBody = 0;
  int32_t TaskActualWork = 0;
  int32_t TaskBody = 0;
  int32_t TaskBillingInformation = 0;
  int32_t TaskCompanies = 0;
  int32_t TaskDateCompleted = 0;
  int32_t TaskDueDate = 0;
  int32_t TaskMileage = 0;
  int32_t TaskStartDate = 0;
  int32_t TaskSubject = 0;
  int32_t TaskTotalWork = 0;
};

enum class FieldKind { Contact, Appointment, Task };

// The dialog's preset buttons "Phone Numbers", "Zip/Postal Codes" and
// "Email Addresses" tick the rows of their group.
enum class PresetGroup { None, Phone, Zip, Email };

struct CatalogRow {
  int number;  // 1 to 56: the catalog order
  FieldKind kind;
  const char* key;        // settings key and FieldSelection member
  const char* check_box;  // "chk" + key
  const char* caption;    // the check box's caption
  int dialog_default;     // what the dialog shows when the key is absent
  PresetGroup preset;
  int32_t FieldSelection::*flag;
};

inline constexpr const char* kSpecialInstructionsKey = "SpecialInstructions";
inline constexpr const char* kSpecialInstructionsDefault = "None";
inline constexpr const char* kOnlyAreaCodes = "Only look in city/area codes";
inline constexpr const char* kSettingsSection = "Tidewell";

// Rows 1-41 are contacts, 42-46 appointments, 47-56 tasks.
inline constexpr int kLastContactRow = 41;
// File As (row 22) is loaded and saved like every box, but no group button
// touches it: File As is only searched when the user ticks it on purpose.
inline constexpr int kFileAsRow = 22;

inline constexpr std::array<CatalogRow, 56> kFieldCatalog{{
    {1, FieldKind::Contact, "AccountName", "chkAccountName", "Account Name", 1, PresetGroup::None,
     &FieldSelection::AccountName},
    {2, FieldKind::Contact, "AssistantsPhone", "chkAssistantsPhone", "Assistant's Phone", 1,
     PresetGroup::Phone, &FieldSelection::AssistantsPhone},
    {3, FieldKind::Contact, "BusinessStreetAddress", "chkBusinessStreetAddress",
     "Business Street Address", 1, PresetGroup::None, &FieldSelection::BusinessStreetAddress},
    {4, FieldKind::Contact, "BusinessCity", "chkBusinessCity", "Business City", 1,
     PresetGroup::None, &FieldSelection::BusinessCity},
    {5, FieldKind::Contact, "BusinessState", "chkBusinessState", "Business State", 1,
     PresetGroup::None, &FieldSelection::BusinessState},
    {6, FieldKind::Contact, "BusinessZip", "chkBusinessZip", "Business Zip/Postal Code", 1,
     PresetGroup::Zip, &FieldSelection::BusinessZip},
    {7, FieldKind::Contact, "Body", "chkBody", "Body (Notes)", 1, PresetGroup::None,
     &FieldSelection::Body},
    {8, FieldKind::Contact, "BusinessPhone", "chkBusinessPhone", "Business Phone", 1,
     PresetGroup::Phone, &FieldSelection::BusinessPhone},
    {9, FieldKind::Contact, "BusinessPhone2", "chkBusinessPhone2", "Business Phone 2", 1,
     PresetGroup::Phone, &FieldSelection::BusinessPhone2},
    {10, FieldKind::Contact, "BusinessFax", "chkBusinessFax", "Business Fax", 1, PresetGroup::Phone,
     &FieldSelection::BusinessFax},
    {11, FieldKind::Contact, "BusinessHomePage", "chkBusinessHomePage", "Business Home Page", 1,
     PresetGroup::None, &FieldSelection::BusinessHomePage},
    {12, FieldKind::Contact, "CallbackPhone", "chkCallbackPhone", "Callback Phone", 1,
     PresetGroup::Phone, &FieldSelection::CallbackPhone},
    {13, FieldKind::Contact, "CarPhone", "chkCarPhone", "Car Phone", 1, PresetGroup::Phone,
     &FieldSelection::CarPhone},
    {14, FieldKind::Contact, "CompanyMainPhone", "chkCompanyMainPhone", "Company Main Phone", 1,
     PresetGroup::Phone, &FieldSelection::CompanyMainPhone},
    {15, FieldKind::Contact, "CompanyName", "chkCompanyName", "Company Name", 1, PresetGroup::None,
     &FieldSelection::CompanyName},
    {16, FieldKind::Contact, "EmailAddress", "chkEmailAddress", "Email Address", 1,
     PresetGroup::Email, &FieldSelection::EmailAddress},
    {17, FieldKind::Contact, "Email2Address", "chkEmail2Address", "Email 2 Address", 1,
     PresetGroup::Email, &FieldSelection::Email2Address},
    {18, FieldKind::Contact, "Email3Address", "chkEmail3Address", "Email 3 Address", 1,
     PresetGroup::Email, &FieldSelection::Email3Address},
    {19, FieldKind::Contact, "EmailDisplayAs", "chkEmailDisplayAs", "Email Display As", 1,
     PresetGroup::None, &FieldSelection::EmailDisplayAs},
    {20, FieldKind::Contact, "Email2DisplayAs", "chkEmail2DisplayAs", "Email 2 Display As", 1,
     PresetGroup::None, &FieldSelection::Email2DisplayAs},
    {21, FieldKind::Contact, "Email3DisplayAs", "chkEmail3DisplayAs", "Email 3 Display As", 1,
     PresetGroup::None, &FieldSelection::Email3DisplayAs},
    {22, FieldKind::Contact, "FileAs", "chkFileAs", "File As", 0, PresetGroup::None,
     &FieldSelection::FileAs},
    {23, FieldKind::Contact, "HomeStreetAddress", "chkHomeStreetAddress", "Home Street Address", 1,
     PresetGroup::None, &FieldSelection::HomeStreetAddress},
    {24, FieldKind::Contact, "HomeCity", "chkHomeCity", "Home City", 1, PresetGroup::None,
     &FieldSelection::HomeCity},
    {25, FieldKind::Contact, "HomeState", "chkHomeState", "Home State", 1, PresetGroup::None,
     &FieldSelection::HomeState},
    {26, FieldKind::Contact, "HomeZip", "chkHomeZip", "Home Zip/Postal Code", 1, PresetGroup::Zip,
     &FieldSelection::HomeZip},
    {27, FieldKind::Contact, "HomePhone", "chkHomePhone", "Home Phone", 1, PresetGroup::Phone,
     &FieldSelection::HomePhone},
    {28, FieldKind::Contact, "HomePhone2", "chkHomePhone2", "Home Phone 2", 1, PresetGroup::Phone,
     &FieldSelection::HomePhone2},
    {29, FieldKind::Contact, "HomeFax", "chkHomeFax", "Home Fax", 1, PresetGroup::Phone,
     &FieldSelection::HomeFax},
    {30, FieldKind::Contact, "MobilePhone", "chkMobilePhone", "Mobile Phone", 1, PresetGroup::Phone,
     &FieldSelection::MobilePhone},
    {31, FieldKind::Contact, "OfficeLocation", "chkOfficeLocation", "Office Location", 1,
     PresetGroup::None, &FieldSelection::OfficeLocation},
    {32, FieldKind::Contact, "OtherStreetAddress", "chkOtherStreetAddress", "Other Street Address",
     1, PresetGroup::None, &FieldSelection::OtherStreetAddress},
    {33, FieldKind::Contact, "OtherCity", "chkOtherCity", "Other City", 1, PresetGroup::None,
     &FieldSelection::OtherCity},
    {34, FieldKind::Contact, "OtherState", "chkOtherState", "Other State", 1, PresetGroup::None,
     &FieldSelection::OtherState},
    {35, FieldKind::Contact, "OtherZip", "chkOtherZip", "Other Zip/Postal Code", 1,
     PresetGroup::Zip, &FieldSelection::OtherZip},
    {36, FieldKind::Contact, "OtherPhone", "chkOtherPhone", "Other Phone", 1, PresetGroup::Phone,
     &FieldSelection::OtherPhone},
    {37, FieldKind::Contact, "OtherFax", "chkOtherFax", "Other Fax", 1, PresetGroup::Phone,
     &FieldSelection::OtherFax},
    {38, FieldKind::Contact, "Pager", "chkPager", "Pager", 1, PresetGroup::Phone,
     &FieldSelection::Pager},
    {39, FieldKind::Contact, "PrimaryPhone", "chkPrimaryPhone", "Primary Phone", 1,
     PresetGroup::Phone, &FieldSelection::PrimaryPhone},
    {40, FieldKind::Contact, "RadioPhone", "chkRadioPhone", "Radio Phone", 1, PresetGroup::Phone,
     &FieldSelection::RadioPhone},
    {41, FieldKind::Contact, "TTYPhone", "chkTTYPhone", "TTY/TDD Phone", 1, PresetGroup::Phone,
     &FieldSelection::TTYPhone},
    {42, FieldKind::Appointment, "AppointmentSubject", "chkAppointmentSubject", "Subject", 0,
     PresetGroup::None, &FieldSelection::AppointmentSubject},
    {43, FieldKind::Appointment, "AppointmentLocation", "chkAppointmentLocation", "Location", 0,
     PresetGroup::None, &FieldSelection::AppointmentLocation},
    {44, FieldKind::Appointment, "AppointmentStart", "chkAppointmentStart", "Start", 0,
     PresetGroup::None, &FieldSelection::AppointmentStart},
    {45, FieldKind::Appointment, "AppointmentEnd", "chkAppointmentEnd", "End", 0, PresetGroup::None,
     &FieldSelection::AppointmentEnd},
    {46, FieldKind::Appointment, "AppointmentBody", "chkAppointmentBody", "Body", 0,
     PresetGroup::None, &FieldSelection::AppointmentBody},
    {47, FieldKind::Task, "TaskActualWork", "chkTaskActualWork", "Actual Work", 0,
     PresetGroup::None, &FieldSelection::TaskActualWork},
    {48, FieldKind::Task, "TaskBody", "chkTaskBody", "Body (Notes)", 0, PresetGroup::None,
     &FieldSelection::TaskBody},
    {49, FieldKind::Task, "TaskBillingInformation", "chkTaskBillingInformation",
     "Billing Information", 0, PresetGroup::None, &FieldSelection::TaskBillingInformation},
    {50, FieldKind::Task, "TaskCompanies", "chkTaskCompanies", "Companies", 0, PresetGroup::None,
     &FieldSelection::TaskCompanies},
    {51, FieldKind::Task, "TaskDateCompleted", "chkTaskDateCompleted", "Date Completed", 0,
     PresetGroup::None, &FieldSelection::TaskDateCompleted},
    {52, FieldKind::Task, "TaskDueDate", "chkTaskDueDate", "Due Date", 0, PresetGroup::None,
     &FieldSelection::TaskDueDate},
    {53, FieldKind::Task, "TaskMileage", "chkTaskMileage", "Mileage", 0, PresetGroup::None,
     &FieldSelection::TaskMileage},
    {54, FieldKind::Task, "TaskStartDate", "chkTaskStartDate", "Start Date", 0, PresetGroup::None,
     &FieldSelection::TaskStartDate},
    {55, FieldKind::Task, "TaskSubject", "chkTaskSubject", "Subject", 0, PresetGroup::None,
     &FieldSelection::TaskSubject},
    {56, FieldKind::Task, "TaskTotalWork", "chkTaskTotalWork", "Total Work", 0, PresetGroup::None,
     &FieldSelection::TaskTotalWork},
}};

// Fills `selection` from the settings store: 57 reads in catalog order, the
// special instruction between rows 41 and 42. An absent flag reads as 0, an
// absent instruction as "None". Throws Failure ("Type mismatch",
// "Overflow") when a stored flag is not a whole number in 32 bits, and
// whatever the store throws; `selection` may then be partly loaded.
void LoadFieldSelection(FieldSelection& selection, SettingsStore& settings,
                        SupportComponent& support);

}  // namespace tidewell
