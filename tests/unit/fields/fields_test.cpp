// The field chooser's model against the settings store.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

Rows Ticked(frmLookInFields& dialog) {
  Rows ticked;
  for (const CatalogRow& row : kFieldCatalog) {
    if (dialog.chk(Number(row)).Value() != 0) ticked.insert(Number(row));
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
    const bool ticked = row.kind == FieldKind::Contact && Number(row) != kFileAsRow;
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

// Every name a field goes by finds it: the key `show` prints, the property
// a change line prints (with the "#N" of a value past the kind's rows) and
// the caption, case and blanks ignored; a shared name finds every field.
TEST(FieldNames, AnyNameOfAFieldFindsItAndASharedNameFindsAll) {
  for (const auto& [name, keys] :
       std::vector<std::pair<std::string, Texts>>{{"MobilePhone", {"MobilePhone"}},
                                                  {" MOBILE  PHONE", {"MobilePhone"}},
                                                  {"BusinessTelephoneNumber#3", {"BusinessPhone"}},
                                                  {"Email1Address", {"EmailAddress"}},
                                                  {"tty/tdd phone", {"TTYPhone"}},
                                                  {"body", {"Body", "AppointmentBody", "TaskBody"}},
                                                  {"Body (Notes)", {"Body", "TaskBody"}},
                                                  {"MobilePhone#", {}},
                                                  {"Phone", {}},
                                                  {"", {}}}) {
    Texts found;
    for (const CatalogRow* row : FieldsNamed(name)) found.push_back(row->key);
    EXPECT_EQ(found, keys) << "'" << name << "'";
  }
}

}  // namespace
}  // namespace tidewell::testing
