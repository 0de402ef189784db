// The field catalog against the item procedures' tables, and the field
// chooser's model against the settings store.
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/replace_engine.h"
#include "fields/frm_look_in_fields.h"
#include "support/fake_components.h"

namespace tidewell::testing {
namespace {

using Rows = std::set<int>;

// The settings keys in catalog order: stored settings outlive a release, so
// neither a key nor the order of the 57 reads and writes may change.
const Texts kKeys = Words(
    "AccountName AssistantsPhone BusinessStreetAddress BusinessCity BusinessState BusinessZip "
    "Body BusinessPhone BusinessPhone2 BusinessFax BusinessHomePage CallbackPhone CarPhone "
    "CompanyMainPhone CompanyName EmailAddress Email2Address Email3Address EmailDisplayAs "
    "Email2DisplayAs Email3DisplayAs FileAs HomeStreetAddress HomeCity HomeState HomeZip "
    "HomePhone HomePhone2 HomeFax MobilePhone OfficeLocation OtherStreetAddress OtherCity "
    "OtherState OtherZip OtherPhone OtherFax Pager PrimaryPhone RadioPhone TTYPhone "
    "SpecialInstructions AppointmentSubject AppointmentLocation AppointmentStart "
    "AppointmentEnd AppointmentBody TaskActualWork TaskBody TaskBillingInformation "
    "TaskCompanies TaskDateCompleted TaskDueDate TaskMileage TaskStartDate TaskSubject "
    "TaskTotalWork");

// Each row's step: the line mark its failure reports show and the property searched.
const int32_t kMarks[] = {20,  30,  40,  50,  60,  70,  80,  90,  100, 110, 120, 130, 140, 150,
                          160, 170, 180, 190, 200, 210, 220, 225, 230, 240, 250, 260, 270, 280,
                          290, 300, 310, 320, 330, 340, 350, 360, 380, 390, 400, 410, 420, 500,
                          510, 520, 530, 540, 600, 610, 620, 630, 640, 650, 660, 670, 675, 680};
const Texts kProperties = Words(
    "Account AssistantTelephoneNumber BusinessAddressStreet BusinessAddressCity "
    "BusinessAddressState BusinessAddressPostalCode Body BusinessTelephoneNumber "
    "Business2TelephoneNumber BusinessFaxNumber BusinessHomePage CallbackTelephoneNumber "
    "CarTelephoneNumber CompanyMainTelephoneNumber CompanyName Email1Address Email2Address "
    "Email3Address Email1DisplayName Email2DisplayName Email3DisplayName FileAs "
    "HomeAddressStreet HomeAddressCity HomeAddressState HomeAddressPostalCode "
    "HomeTelephoneNumber Home2TelephoneNumber HomeFaxNumber MobileTelephoneNumber "
    "OfficeLocation OtherAddressStreet OtherAddressCity OtherAddressState "
    "OtherAddressPostalCode OtherTelephoneNumber OtherFaxNumber PagerNumber "
    "PrimaryTelephoneNumber RadioTelephoneNumber TTYTDDTelephoneNumber Subject Location Start "
    "End Body ActualWork Body BillingInformation Companies DateCompleted DueDate Mileage "
    "StartDate Subject TotalWork");

TEST(FieldCatalog, AgreesWithTheFieldTablesOfTheItemProcedures) {
  ASSERT_EQ(kProperties.size(), kFieldCatalog.size());
  static_assert(std::size(kMarks) == kFieldCatalog.size());
  size_t next_step[3] = {0, 0, 0};
  FieldSelection selection;
  for (const CatalogRow& row : kFieldCatalog) {
    SCOPED_TRACE(row.key);
    const size_t n = size_t(row.number - 1);
    EXPECT_EQ(row.kind, n < 41   ? FieldKind::Contact
                        : n < 46 ? FieldKind::Appointment
                                 : FieldKind::Task);
    EXPECT_EQ(row.key, kKeys[n < 41 ? n : n + 1]);
    EXPECT_EQ(std::string(row.check_box), "chk" + std::string(row.key));
    selection.*row.flag = row.number;  // each row names its own member

    // The procedure walks its kind's rows in catalog order, one step each.
    const auto steps = FieldSteps(row.kind);
    size_t& at = next_step[static_cast<int>(row.kind)];
    ASSERT_LT(at, steps.size());
    const FieldStep& step = steps[at++];
    EXPECT_EQ(step.flag, row.flag);
    EXPECT_EQ(step.line_mark, kMarks[n]);
    EXPECT_EQ(step.property, kProperties[n]);
    EXPECT_STREQ(step.journal_name, step.property);
    EXPECT_EQ(step.handling == FieldHandling::kPhone, row.preset == PresetGroup::Phone);
  }
  EXPECT_EQ(next_step[0] + next_step[1] + next_step[2], 56u);
  for (const CatalogRow& row : kFieldCatalog) EXPECT_EQ(selection.*row.flag, row.number);
}

Rows Ticked(frmLookInFields& dialog) {
  Rows ticked;
  for (const CatalogRow& row : kFieldCatalog) {
    if (dialog.chk(row.number).Value() != 0) ticked.insert(row.number);
  }
  return ticked;
}

Rows Range(int first, int last, Rows except = {}, Rows also = {}) {
  for (int n = first; n <= last; ++n) {
    if (!except.contains(n)) also.insert(n);
  }
  return also;
}

class LookInFieldsTest : public ::testing::Test {
 protected:
  FakeSettings settings;
  FakeSupport support;
  frmLookInFields dialog{settings, support};
};

TEST_F(LookInFieldsTest, NewStoreShowsDialogDefaultsAndOkWritesThemAllInOrder) {
  dialog.Form_Load();
  EXPECT_EQ(settings.reads, kKeys);
  EXPECT_EQ(Ticked(dialog), Range(1, 41, {22}));
  EXPECT_EQ(dialog.cboSpecialInstructions.Text(), "None");
  EXPECT_EQ(dialog.cboSpecialInstructions.List(), (Texts{"None", "Only look in city/area codes"}));

  dialog.cmdOk.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_EQ(settings.writes, kKeys);
  for (const CatalogRow& row : kFieldCatalog) {
    const bool ticked = row.kind == FieldKind::Contact && row.number != kFileAsRow;
    EXPECT_EQ(settings.Value(row.key), ticked ? "1" : "0") << row.key;
  }
  EXPECT_EQ(settings.Value("SpecialInstructions"), "None");
  EXPECT_TRUE(support.reports.empty());
}

TEST_F(LookInFieldsTest, GroupButtons) {
  using F = frmLookInFields;
  const auto all = &F::cmdContactSelectAllFields, none = &F::cmdContactClearAllFields,
             phone = &F::cmdContactPhoneNumbers, zip = &F::cmdContactZipPostalCodes,
             email = &F::cmdContactEmailAddresses,
             all_appointments = &F::cmdAppointmentSelectAllFields,
             no_appointments = &F::cmdAppointmentClearAllFields,
             all_tasks = &F::cmdTaskSelectAllFields, no_tasks = &F::cmdTaskClearAllFields;
  const Rows phones = {2, 8, 9, 10, 12, 13, 14, 27, 28, 29, 30, 36, 37, 38, 39, 40, 41};
  const struct {
    const char* situation;
    Rows ticked_first;
    std::vector<Button F::*> pressed;
    Rows ticked;
  } rows[] = {{"phone numbers after clear all", {}, {none, phone}, phones},
              {"phone numbers keep what was ticked", {42}, {phone}, Range(1, 41, {22}, {42})},
              {"email addresses, never the display names", {}, {none, email}, {16, 17, 18}},
              {"zip codes", {}, {none, zip}, {6, 26, 35}},
              {"clear all leaves File As alone", {22}, {none}, {22}},
              {"select all leaves File As alone", {}, {none, all}, Range(1, 41, {22})},
              {"appointments and tasks",
               {},
               {none, all_appointments, all_tasks, no_appointments},
               Range(47, 56)},
              {"task clear all", {}, {all_tasks, no_tasks}, Range(1, 41, {22})}};
  for (const auto& row : rows) {
    frmLookInFields fresh(settings, support);
    fresh.Form_Load();
    for (int number : row.ticked_first) fresh.chk(number).SetValue(1);
    for (Button F::*button : row.pressed) (fresh.*button).Press();
    EXPECT_EQ(Ticked(fresh), row.ticked) << row.situation;
  }
  dialog.cmdCancel.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_TRUE(settings.writes.empty());
}

TEST_F(LookInFieldsTest, StoredTextsAsShownAndKeptExactly) {
  const struct {
    const char* key;
    const char* stored;
    int shown;
  } rows[] = {{"AccountName", "0", 0}, {"Pager", "yes", 1},       {"TaskBody", "x", 0},
              {"HomeCity", "1.0", 1},  {"TaskMileage", "1.5", 0}, {"OtherFax", "-1", 1},
              {"FileAs", "1", 1},      {"TaskSubject", "2", 1},   {"CarPhone", "", 1}};
  for (const auto& row : rows) settings.Put(row.key, row.stored);
  settings.Put("SpecialInstructions", "  only LOOK in area codes ");
  dialog.Form_Load();
  for (const auto& row : rows) EXPECT_EQ(dialog.chk(row.key).Value(), row.shown) << row.key;
  EXPECT_EQ(dialog.cboSpecialInstructions.Text(), "  only LOOK in area codes ");

  dialog.cboSpecialInstructions.SetText("Only look in city/area codes ");
  dialog.cmdOk.Press();
  EXPECT_EQ(settings.Value("SpecialInstructions"), "Only look in city/area codes ");
  EXPECT_EQ(settings.Value("FileAs"), "1");
  EXPECT_EQ(settings.Value("TaskSubject"), "1");

  frmLookInFields again(settings, support);
  again.Form_Load();
  EXPECT_EQ(again.cboSpecialInstructions.Text(), "Only look in city/area codes ");
  EXPECT_EQ(again.chk("FileAs").Value(), 1);
}

TEST_F(LookInFieldsTest, StoreFailuresAreReportedAndCloseTheDialog) {
  settings.fail_write["BusinessCity"] = "The settings file is read-only.";
  dialog.Form_Load();
  dialog.cmdOk.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_EQ(settings.writes, (Texts{"AccountName", "AssistantsPhone", "BusinessStreetAddress"}));

  settings.fail_read["TaskBody"] = "The settings file is damaged.";
  frmLookInFields loading(settings, support);
  loading.Form_Load();
  EXPECT_FALSE(loading.IsOpen());
  EXPECT_EQ(support.Reports(),
            (Texts{"Tidewell.frmLookInFields|Error occurred.  Reason: The settings file is "
                   "read-only.",
                   "Tidewell.frmLookInFields|Error occurred.  Reason: The settings file is "
                   "damaged."}));
}

TEST(LookInFieldsLayout, PlacesEveryBoxOnItsKindsPageAndEveryButton) {
  std::map<std::string, const DialogControlLayout*> layout;
  for (const auto& control : LookInFieldsLayout()) layout[control.name] = &control;
  for (const CatalogRow& row : kFieldCatalog) {
    ASSERT_TRUE(layout.contains(row.check_box)) << row.check_box;
    const char* pages[] = {"Picture1", "Picture2", "Picture3"};
    EXPECT_STREQ(layout[row.check_box]->container, pages[int(row.kind)]);
    EXPECT_STREQ(layout[row.check_box]->caption, row.caption);
  }
  // Home Fax stands above Home Phone in the middle column.
  EXPECT_LT(layout["chkHomeFax"]->top, layout["chkHomePhone"]->top);

  FakeSettings settings;
  FakeSupport support;
  frmLookInFields dialog(settings, support);
  for (const Button* button : {&dialog.cmdOk, &dialog.cmdCancel, &dialog.cmdContactPhoneNumbers,
                               &dialog.cmdTaskClearAllFields}) {
    ASSERT_TRUE(layout.contains(button->Name())) << button->Name();
    EXPECT_EQ(button->Caption(), layout[button->Name()]->caption);
  }
}

}  // namespace
}  // namespace tidewell::testing
