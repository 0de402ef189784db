// The fields a replace run can look in, and the page's record of which ones
// it does.
//
// The catalog is one table of 56 rows: 41 contact fields, 5 appointment
// fields, 10 task fields. Its order is the order of the settings reads and
// writes, and of the fields within one item. A row is the whole of a field
// for the page, the dialog and the item procedures; a new field is one row
// here plus its mapping in each store's view of the item kind.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"
#include "platform/support.h"

namespace tidewell {

enum class FieldKind { Contact, Appointment, Task };

// The dialog's preset buttons "Phone Numbers", "Zip/Postal Codes" and
// "Email Addresses" tick the rows of their group.
enum class PresetGroup { None, Phone, Zip, Email };

// How an item procedure treats one selected field.
enum class FieldHandling {
  kWholeValue,        // ReplaceFieldText on the whole text
  kPhone,             // the area part alone under "Only look in city/area codes"
  kBody,              // "Body" tested, then the shown text of "RTFBody" rewritten
  kWholeValueLogged,  // as kWholeValue, then an "Updated Email1Address: " line
};

// Where a field's check box stands on its kind's page of the dialog, in twips.
struct BoxPlace {
  int32_t left;
  int32_t top;
};

// Everything the page, the dialog and the item procedures know of one field.
struct CatalogRow {
  FieldKind kind;
  const char* key;      // settings key; the dialog's check box is "chk" + key
  const char* caption;  // the check box's caption
  BoxPlace place;
  int dialog_default;  // what the dialog shows when the key is absent
  PresetGroup preset;
  // The item property searched and written, and the field name of its undo
  // record. For kBody it is the plain body tested; "RTFBody" is rewritten.
  const char* property;
  int32_t line_mark;  // shown by a failure report while the field is worked on
  FieldHandling handling;
  // On the first row of a kind of value a contact may hold more of than the
  // catalog has rows for (a kind of phone, the e-mail addresses): how many
  // rows the kind has. Values beyond them are searched as "<property>#<n>".
  int kind_rows = 0;
};

inline constexpr const char* kSpecialInstructionsKey = "SpecialInstructions";
inline constexpr const char* kSpecialInstructionsDefault = "None";
inline constexpr const char* kOnlyAreaCodes = "Only look in city/area codes";
inline constexpr const char* kSettingsSection = "Tidewell";

// Rows of one kind stand together. The line marks are the ones failure
// reports have always shown: 370 is not used and File As took 225 between
// 220 and 230, so they stay as they are. The task's subject is searched too,
// at 675, where the chooser lists it. Home Fax stands above Home Phone and
// Other Fax above Other Phone in the dialog, out of catalog order.
// One line per row, so that the table reads as one.
// clang-format off
inline constexpr auto kFieldCatalog = [] {
  using K = FieldKind;
  using G = PresetGroup;
  using H = FieldHandling;
  return std::to_array<CatalogRow>({
      {K::Contact, "AccountName", "Account Name", {270, 270}, 1, G::None, "Account", 20, H::kWholeValue},
      {K::Contact, "AssistantsPhone", "Assistant's Phone", {270, 615}, 1, G::Phone, "AssistantTelephoneNumber", 30, H::kPhone, 1},
      {K::Contact, "BusinessStreetAddress", "Business Street Address", {270, 975}, 1, G::None, "BusinessAddressStreet", 40, H::kWholeValue},
      {K::Contact, "BusinessCity", "Business City", {270, 1320}, 1, G::None, "BusinessAddressCity", 50, H::kWholeValue},
      {K::Contact, "BusinessState", "Business State", {270, 1680}, 1, G::None, "BusinessAddressState", 60, H::kWholeValue},
      {K::Contact, "BusinessZip", "Business Zip/Postal Code", {270, 2025}, 1, G::Zip, "BusinessAddressPostalCode", 70, H::kWholeValue},
      {K::Contact, "Body", "Body (Notes)", {270, 2385}, 1, G::None, "Body", 80, H::kBody},
      {K::Contact, "BusinessPhone", "Business Phone", {270, 2730}, 1, G::Phone, "BusinessTelephoneNumber", 90, H::kPhone, 2},
      {K::Contact, "BusinessPhone2", "Business Phone 2", {270, 3090}, 1, G::Phone, "Business2TelephoneNumber", 100, H::kPhone},
      {K::Contact, "BusinessFax", "Business Fax", {270, 3435}, 1, G::Phone, "BusinessFaxNumber", 110, H::kPhone, 1},
      {K::Contact, "BusinessHomePage", "Business Home Page", {270, 3795}, 1, G::None, "BusinessHomePage", 120, H::kWholeValue},
      {K::Contact, "CallbackPhone", "Callback Phone", {270, 4140}, 1, G::Phone, "CallbackTelephoneNumber", 130, H::kPhone, 1},
      {K::Contact, "CarPhone", "Car Phone", {270, 4500}, 1, G::Phone, "CarTelephoneNumber", 140, H::kPhone, 1},
      {K::Contact, "CompanyMainPhone", "Company Main Phone", {270, 4845}, 1, G::Phone, "CompanyMainTelephoneNumber", 150, H::kPhone, 1},
      {K::Contact, "CompanyName", "Company Name", {270, 5205}, 1, G::None, "CompanyName", 160, H::kWholeValue},
      {K::Contact, "EmailAddress", "Email Address", {3345, 270}, 1, G::Email, "Email1Address", 170, H::kWholeValueLogged, 3},
      {K::Contact, "Email2Address", "Email 2 Address", {3345, 615}, 1, G::Email, "Email2Address", 180, H::kWholeValue},
      {K::Contact, "Email3Address", "Email 3 Address", {3345, 975}, 1, G::Email, "Email3Address", 190, H::kWholeValue},
      {K::Contact, "EmailDisplayAs", "Email Display As", {3345, 1320}, 1, G::None, "Email1DisplayName", 200, H::kWholeValue},
      {K::Contact, "Email2DisplayAs", "Email 2 Display As", {3345, 1680}, 1, G::None, "Email2DisplayName", 210, H::kWholeValue},
      {K::Contact, "Email3DisplayAs", "Email 3 Display As", {3345, 2025}, 1, G::None, "Email3DisplayName", 220, H::kWholeValue},
      {K::Contact, "FileAs", "File As", {3345, 2370}, 0, G::None, "FileAs", 225, H::kWholeValue},
      {K::Contact, "HomeStreetAddress", "Home Street Address", {3345, 2700}, 1, G::None, "HomeAddressStreet", 230, H::kWholeValue},
      {K::Contact, "HomeCity", "Home City", {3345, 3045}, 1, G::None, "HomeAddressCity", 240, H::kWholeValue},
      {K::Contact, "HomeState", "Home State", {3345, 3405}, 1, G::None, "HomeAddressState", 250, H::kWholeValue},
      {K::Contact, "HomeZip", "Home Zip/Postal Code", {3345, 3750}, 1, G::Zip, "HomeAddressPostalCode", 260, H::kWholeValue},
      {K::Contact, "HomePhone", "Home Phone", {3345, 4455}, 1, G::Phone, "HomeTelephoneNumber", 270, H::kPhone, 2},
      {K::Contact, "HomePhone2", "Home Phone 2", {3345, 4815}, 1, G::Phone, "Home2TelephoneNumber", 280, H::kPhone},
      {K::Contact, "HomeFax", "Home Fax", {3345, 4110}, 1, G::Phone, "HomeFaxNumber", 290, H::kPhone, 1},
      {K::Contact, "MobilePhone", "Mobile Phone", {3345, 5160}, 1, G::Phone, "MobileTelephoneNumber", 300, H::kPhone, 1},
      {K::Contact, "OfficeLocation", "Office Location", {6135, 240}, 1, G::None, "OfficeLocation", 310, H::kWholeValue},
      {K::Contact, "OtherStreetAddress", "Other Street Address", {6135, 585}, 1, G::None, "OtherAddressStreet", 320, H::kWholeValue},
      {K::Contact, "OtherCity", "Other City", {6135, 930}, 1, G::None, "OtherAddressCity", 330, H::kWholeValue},
      {K::Contact, "OtherState", "Other State", {6135, 1290}, 1, G::None, "OtherAddressState", 340, H::kWholeValue},
      {K::Contact, "OtherZip", "Other Zip/Postal Code", {6135, 1635}, 1, G::Zip, "OtherAddressPostalCode", 350, H::kWholeValue},
      {K::Contact, "OtherPhone", "Other Phone", {6135, 2340}, 1, G::Phone, "OtherTelephoneNumber", 360, H::kPhone, 1},
      {K::Contact, "OtherFax", "Other Fax", {6135, 1995}, 1, G::Phone, "OtherFaxNumber", 380, H::kPhone, 1},
      {K::Contact, "Pager", "Pager", {6135, 2700}, 1, G::Phone, "PagerNumber", 390, H::kPhone, 1},
      {K::Contact, "PrimaryPhone", "Primary Phone", {6135, 3045}, 1, G::Phone, "PrimaryTelephoneNumber", 400, H::kPhone, 1},
      {K::Contact, "RadioPhone", "Radio Phone", {6135, 3405}, 1, G::Phone, "RadioTelephoneNumber", 410, H::kPhone, 1},
      {K::Contact, "TTYPhone", "TTY/TDD Phone", {6135, 3750}, 1, G::Phone, "TTYTDDTelephoneNumber", 420, H::kPhone, 1},
      {K::Appointment, "AppointmentSubject", "Subject", {270, 270}, 0, G::None, "Subject", 500, H::kWholeValue},
      {K::Appointment, "AppointmentLocation", "Location", {270, 630}, 0, G::None, "Location", 510, H::kWholeValue},
      {K::Appointment, "AppointmentStart", "Start", {270, 990}, 0, G::None, "Start", 520, H::kWholeValue},
      {K::Appointment, "AppointmentEnd", "End", {270, 1335}, 0, G::None, "End", 530, H::kWholeValue},
      {K::Appointment, "AppointmentBody", "Body", {270, 1695}, 0, G::None, "Body", 540, H::kBody},
      {K::Task, "TaskActualWork", "Actual Work", {270, 270}, 0, G::None, "ActualWork", 600, H::kWholeValue},
      {K::Task, "TaskBody", "Body (Notes)", {270, 615}, 0, G::None, "Body", 610, H::kBody},
      {K::Task, "TaskBillingInformation", "Billing Information", {270, 975}, 0, G::None, "BillingInformation", 620, H::kWholeValue},
      {K::Task, "TaskCompanies", "Companies", {270, 1320}, 0, G::None, "Companies", 630, H::kWholeValue},
      {K::Task, "TaskDateCompleted", "Date Completed", {270, 1680}, 0, G::None, "DateCompleted", 640, H::kWholeValue},
      {K::Task, "TaskDueDate", "Due Date", {270, 2025}, 0, G::None, "DueDate", 650, H::kWholeValue},
      {K::Task, "TaskMileage", "Mileage", {270, 2385}, 0, G::None, "Mileage", 660, H::kWholeValue},
      {K::Task, "TaskStartDate", "Start Date", {270, 2730}, 0, G::None, "StartDate", 670, H::kWholeValue},
      {K::Task, "TaskSubject", "Subject", {270, 3090}, 0, G::None, "Subject", 675, H::kWholeValue},
      {K::Task, "TaskTotalWork", "Total Work", {270, 3450}, 0, G::None, "TotalWork", 680, H::kWholeValue},
  });
}();
// clang-format on

// The row's place in the catalog, from 1. `row` is one of kFieldCatalog's
// own rows, never a copy.
constexpr int Number(const CatalogRow& row) {
  return static_cast<int>(&row - kFieldCatalog.data()) + 1;
}

// The rows of one kind, in catalog order: the order its item procedure walks.
constexpr std::span<const CatalogRow> FieldsOf(FieldKind kind) {
  size_t first = 0;
  while (first < kFieldCatalog.size() && kFieldCatalog[first].kind != kind) ++first;
  size_t last = first;
  while (last < kFieldCatalog.size() && kFieldCatalog[last].kind == kind) ++last;
  return std::span<const CatalogRow>(kFieldCatalog).subspan(first, last - first);
}
static_assert(FieldsOf(FieldKind::Contact).size() + FieldsOf(FieldKind::Appointment).size() +
                      FieldsOf(FieldKind::Task).size() ==
                  kFieldCatalog.size(),
              "the rows of one kind stand together");

// The row of a settings key; nullptr for a key the catalog lacks.
constexpr const CatalogRow* FindField(std::string_view key) {
  for (const CatalogRow& row : kFieldCatalog) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

// Every row one of whose names is `name`: its settings key ("MobilePhone"),
// the property a change line names ("MobileTelephoneNumber", also with the
// "#N" of a value beyond the kind's rows) or its caption ("Mobile Phone"),
// compared with case and blanks ignored. Several rows for a name they share
// ("Subject", "Body"), in catalog order; none for a name no row has.
std::vector<const CatalogRow*> FieldsNamed(std::string_view name);

// "contact", "appointment", "task".
const char* KindName(FieldKind kind);

// The special instruction is read and written after the last contact row.
inline constexpr int kLastContactRow = static_cast<int>(FieldsOf(FieldKind::Contact).size());
// File As is loaded and saved like every box, but no group button touches
// it: File As is only searched when the user ticks it on purpose.
inline constexpr int kFileAsRow = Number(*FindField("FileAs"));

// One flag per catalog row (non-zero: the run looks in that field), and the
// special instruction for phone numbers. Every flag is 0 and the instruction
// "" until the first LoadFieldSelection.
struct FieldSelection {
  std::array<int32_t, kFieldCatalog.size()> flags{};  // by catalog row
  std::string SpecialInstructions;

  int32_t& operator[](const CatalogRow& row) { return flags[size_t(Number(row) - 1)]; }
  int32_t operator[](const CatalogRow& row) const { return flags[size_t(Number(row) - 1)]; }
  // By settings key ("BusinessPhone"); throws Failure for a key the catalog
  // lacks.
  int32_t& operator[](std::string_view key);
};

// Fills `selection` from the settings store: 57 reads in catalog order, the
// special instruction between rows 41 and 42. An absent flag reads as 0, an
// absent instruction as "None". Throws Failure ("Type mismatch",
// "Overflow") when a stored flag is not a whole number in 32 bits, and
// whatever the store throws; `selection` may then be partly loaded.
void LoadFieldSelection(FieldSelection& selection, SettingsStore& settings,
                        SupportComponent& support);

}  // namespace tidewell
