#include "fields/field_catalog.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/replace_engine.h"

namespace tidewell {
namespace {

// The catalog as the field chooser and the item procedures know it, written
// out once more: key, caption, dialog default, preset group, the procedure's
// line mark and the item property searched.
struct Expected {
  const char* key;
  const char* caption;
  int dialog_default;
  PresetGroup preset;
  int32_t line_mark;
  const char* property;
};

constexpr auto n = PresetGroup::None, p = PresetGroup::Phone, z = PresetGroup::Zip,
               e = PresetGroup::Email;

constexpr Expected kExpected[] = {
    {"AccountName", "Account Name", 1, n, 20, "Account"},
    {"AssistantsPhone", "Assistant's Phone", 1, p, 30, "AssistantTelephoneNumber"},
    {"BusinessStreetAddress", "Business Street Address", 1, n, 40, "BusinessAddressStreet"},
    {"BusinessCity", "Business City", 1, n, 50, "BusinessAddressCity"},
    {"BusinessState", "Business State", 1, n, 60, "BusinessAddressState"},
    {"BusinessZip", "Business Zip/Postal Code", 1, z, 70, "BusinessAddressPostalCode"},
    {"Body", "Body (Notes)", 1, n, 80, "Body"},
    {"BusinessPhone", "Business Phone", 1, p, 90, "BusinessTelephoneNumber"},
    {"BusinessPhone2", "Business Phone 2", 1, p, 100, "Business2TelephoneNumber"},
    {"BusinessFax", "Business Fax", 1, p, 110, "BusinessFaxNumber"},
    {"BusinessHomePage", "Business Home Page", 1, n, 120, "BusinessHomePage"},
    {"CallbackPhone", "Callback Phone", 1, p, 130, "CallbackTelephoneNumber"},
    {"CarPhone", "Car Phone", 1, p, 140, "CarTelephoneNumber"},
    {"CompanyMainPhone", "Company Main Phone", 1, p, 150, "CompanyMainTelephoneNumber"},
    {"CompanyName", "Company Name", 1, n, 160, "CompanyName"},
    {"EmailAddress", "Email Address", 1, e, 170, "Email1Address"},
    {"Email2Address", "Email 2 Address", 1, e, 180, "Email2Address"},
    {"Email3Address", "Email 3 Address", 1, e, 190, "Email3Address"},
    {"EmailDisplayAs", "Email Display As", 1, n, 200, "Email1DisplayName"},
    {"Email2DisplayAs", "Email 2 Display As", 1, n, 210, "Email2DisplayName"},
    {"Email3DisplayAs", "Email 3 Display As", 1, n, 220, "Email3DisplayName"},
    {"FileAs", "File As", 0, n, 225, "FileAs"},
    {"HomeStreetAddress", "Home Street Address", 1, n, 230, "HomeAddressStreet"},
    {"HomeCity", "Home City", 1, n, 240, "HomeAddressCity"},
    {"HomeState", "Home State", 1, n, 250, "HomeAddressState"},
    {"HomeZip", "Home Zip/Postal Code", 1, z, 260, "HomeAddressPostalCode"},
    {"HomePhone", "Home Phone", 1, p, 270, "HomeTelephoneNumber"},
    {"HomePhone2", "Home Phone 2", 1, p, 280, "Home2TelephoneNumber"},
    {"HomeFax", "Home Fax", 1, p, 290, "HomeFaxNumber"},
    {"MobilePhone", "Mobile Phone", 1, p, 300, "MobileTelephoneNumber"},
    {"OfficeLocation", "Office Location", 1, n, 310, "OfficeLocation"},
    {"OtherStreetAddress", "Other Street Address", 1, n, 320, "OtherAddressStreet"},
    {"OtherCity", "Other City", 1, n, 330, "OtherAddressCity"},
    {"OtherState", "Other State", 1, n, 340, "OtherAddressState"},
    {"OtherZip", "Other Zip/Postal Code", 1, z, 350, "OtherAddressPostalCode"},
    {"OtherPhone", "Other Phone", 1, p, 360, "OtherTelephoneNumber"},
    {"OtherFax", "Other Fax", 1, p, 380, "OtherFaxNumber"},
    {"Pager", "Pager", 1, p, 390, "PagerNumber"},
    {"PrimaryPhone", "Primary Phone", 1, p, 400, "PrimaryTelephoneNumber"},
    {"RadioPhone", "Radio Phone", 1, p, 410, "RadioTelephoneNumber"},
    {"TTYPhone", "TTY/TDD Phone", 1, p, 420, "TTYTDDTelephoneNumber"},
    {"AppointmentSubject", "Subject", 0, n, 500, "Subject"},
    {"AppointmentLocation", "Location", 0, n, 510, "Location"},
    {"AppointmentStart", "Start", 0, n, 520, "Start"},
    {"AppointmentEnd", "End", 0, n, 530, "End"},
    {"AppointmentBody", "Body", 0, n, 540, "Body"},
    {"TaskActualWork", "Actual Work", 0, n, 600, "ActualWork"},
    {"TaskBody", "Body (Notes)", 0, n, 610, "Body"},
    {"TaskBillingInformation", "Billing Information", 0, n, 620, "BillingInformation"},
    {"TaskCompanies", "Companies", 0, n, 630, "Companies"},
    {"TaskDateCompleted", "Date Completed", 0, n, 640, "DateCompleted"},
    {"TaskDueDate", "Due Date", 0, n, 650, "DueDate"},
    {"TaskMileage", "Mileage", 0, n, 660, "Mileage"},
    {"TaskStartDate", "Start Date", 0, n, 670, "StartDate"},
    {"TaskSubject", "Subject", 0, n, 675, "Subject"},
    {"TaskTotalWork", "Total Work", 0, n, 680, "TotalWork"},
};

TEST(FieldCatalog, AgreesWithTheFieldTablesOfTheItemProcedures) {
  ASSERT_EQ(std::size(kExpected), kFieldCatalog.size());
  size_t steps_seen = 0;
  for (FieldKind kind : {FieldKind::Contact, FieldKind::Appointment, FieldKind::Task}) {
    steps_seen += FieldSteps(kind).size();
  }
  EXPECT_EQ(steps_seen, kFieldCatalog.size());

  size_t next_step[3] = {0, 0, 0};
  for (const CatalogRow& row : kFieldCatalog) {
    const Expected& want = kExpected[row.number - 1];
    SCOPED_TRACE(row.key);
    EXPECT_EQ(row.kind, row.number <= 41   ? FieldKind::Contact
                        : row.number <= 46 ? FieldKind::Appointment
                                           : FieldKind::Task);
    EXPECT_STREQ(row.key, want.key);
    EXPECT_EQ(std::string(row.check_box), std::string("chk") + want.key);
    EXPECT_STREQ(row.caption, want.caption);
    EXPECT_EQ(row.dialog_default, want.dialog_default);
    EXPECT_EQ(row.preset, want.preset);

    // The procedure walks its kind's rows in catalog order, one step each.
    const auto steps = FieldSteps(row.kind);
    size_t& at = next_step[static_cast<int>(row.kind)];
    ASSERT_LT(at, steps.size());
    const FieldStep& step = steps[at++];
    EXPECT_EQ(step.flag, row.flag);
    EXPECT_EQ(step.line_mark, want.line_mark);
    EXPECT_STREQ(step.property, want.property);
    EXPECT_STREQ(step.journal_name, want.property);
    EXPECT_EQ(step.handling == FieldHandling::kPhone, row.preset == PresetGroup::Phone);
  }

  // Each row names its own member of FieldSelection.
  FieldSelection selection;
  for (const CatalogRow& row : kFieldCatalog) selection.*row.flag = row.number;
  for (const CatalogRow& row : kFieldCatalog) EXPECT_EQ(selection.*row.flag, row.number);
}

}  // namespace
}  // namespace tidewell
