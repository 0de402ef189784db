#include "fields/frm_look_in_fields.h"

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_components.h"

namespace tidewell {
namespace {

using testing::ErrorReport;
using testing::FakeSettings;
using testing::FakeSupport;
using Rows = std::set<int>;

Rows Ticked(frmLookInFields& dialog) {
  Rows ticked;
  for (const CatalogRow& row : kFieldCatalog) {
    if (dialog.chk(row.number).Value() != 0) ticked.insert(row.number);
  }
  return ticked;
}

Rows Range(int first, int last, Rows except = {}) {
  Rows rows;
  for (int n = first; n <= last; ++n) {
    if (!except.contains(n)) rows.insert(n);
  }
  return rows;
}

Rows Union(Rows rows, const Rows& more) {
  rows.insert(more.begin(), more.end());
  return rows;
}

// Every flag key in catalog order, with the special instruction after row 41.
std::vector<std::string> SettingKeys() {
  std::vector<std::string> keys;
  for (const CatalogRow& row : kFieldCatalog) {
    keys.push_back(row.key);
    if (row.number == kLastContactRow) keys.push_back(kSpecialInstructionsKey);
  }
  return keys;
}

const Rows kPhoneRows = {2, 8, 9, 10, 12, 13, 14, 27, 28, 29, 30, 36, 37, 38, 39, 40, 41};

class LookInFieldsTest : public ::testing::Test {
 protected:
  FakeSettings settings;
  FakeSupport support;
  frmLookInFields dialog{settings, support};
};

TEST_F(LookInFieldsTest, NewStoreShowsDialogDefaultsAndOkWritesThemAll) {
  dialog.Form_Load();
  EXPECT_EQ(settings.reads, SettingKeys());
  EXPECT_EQ(Ticked(dialog), Range(1, 41, {22}));
  EXPECT_EQ(dialog.cboSpecialInstructions.Text(), "None");
  EXPECT_EQ(dialog.cboSpecialInstructions.List(),
            (std::vector<std::string>{"None", "Only look in city/area codes"}));

  dialog.cmdOk.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_EQ(settings.writes, SettingKeys());
  for (const CatalogRow& row : kFieldCatalog) {
    const bool ticked = row.kind == FieldKind::Contact && row.number != kFileAsRow;
    EXPECT_EQ(settings.Value(row.key), ticked ? "1" : "0") << row.key;
  }
  EXPECT_EQ(settings.Value("SpecialInstructions"), "None");
  EXPECT_TRUE(support.reports.empty());
}

TEST_F(LookInFieldsTest, GroupButtons) {
  using F = frmLookInFields;
  struct Row {
    const char* situation;
    Rows ticked_first;
    std::vector<Button F::*> pressed;
    Rows ticked;
  };
  const Row rows[] = {
      {"phone numbers after clear all",
       {},
       {&F::cmdContactClearAllFields, &F::cmdContactPhoneNumbers},
       kPhoneRows},
      {"phone numbers keep what was ticked",
       {42},
       {&F::cmdContactPhoneNumbers},
       Union(Range(1, 41, {22}), {42})},
      {"email addresses, never the display names",
       {},
       {&F::cmdContactClearAllFields, &F::cmdContactEmailAddresses},
       {16, 17, 18}},
      {"zip codes", {}, {&F::cmdContactClearAllFields, &F::cmdContactZipPostalCodes}, {6, 26, 35}},
      {"clear all leaves File As alone", {22}, {&F::cmdContactClearAllFields}, {22}},
      {"select all leaves File As alone",
       {},
       {&F::cmdContactClearAllFields, &F::cmdContactSelectAllFields},
       Range(1, 41, {22})},
      {"appointments and tasks",
       {},
       {&F::cmdContactClearAllFields, &F::cmdAppointmentSelectAllFields, &F::cmdTaskSelectAllFields,
        &F::cmdAppointmentClearAllFields},
       Range(47, 56)},
      {"task clear all",
       {},
       {&F::cmdTaskSelectAllFields, &F::cmdTaskClearAllFields},
       Range(1, 41, {22})},
  };
  for (const Row& row : rows) {
    frmLookInFields fresh(settings, support);
    fresh.Form_Load();
    for (int number : row.ticked_first) fresh.chk(number).SetValue(1);
    for (Button F::*button : row.pressed) (fresh.*button).Press();
    EXPECT_EQ(Ticked(fresh), row.ticked) << row.situation;
  }
  EXPECT_TRUE(settings.writes.empty());
}

TEST_F(LookInFieldsTest, StoredTextsAsShownAndKeptExactly) {
  struct Row {
    const char* key;
    const char* stored;
    int shown;
  };
  const Row rows[] = {
      {"AccountName", "0", 0}, {"Pager", "yes", 1},       {"TaskBody", "x", 0},
      {"HomeCity", "1.0", 1},  {"TaskMileage", "1.5", 0}, {"OtherFax", "-1", 1},
      {"FileAs", "1", 1},      {"TaskSubject", "2", 1},   {"CarPhone", "", 1},
  };
  for (const Row& row : rows) settings.Put(row.key, row.stored);
  settings.Put("SpecialInstructions", "  only LOOK in area codes ");
  dialog.Form_Load();
  for (const Row& row : rows) EXPECT_EQ(dialog.chk(row.key).Value(), row.shown) << row.key;
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

TEST_F(LookInFieldsTest, CancelWritesNothing) {
  dialog.Form_Load();
  dialog.cmdContactClearAllFields.Press();
  dialog.cmdCancel.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_TRUE(settings.writes.empty());
}

TEST_F(LookInFieldsTest, StoreFailuresAreReportedAndCloseTheDialog) {
  settings.fail_write["BusinessCity"] = "The settings file is read-only.";
  dialog.Form_Load();
  dialog.cmdOk.Press();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_EQ(settings.writes,
            (std::vector<std::string>{"AccountName", "AssistantsPhone", "BusinessStreetAddress"}));

  settings.fail_read["TaskBody"] = "The settings file is damaged.";
  frmLookInFields loading(settings, support);
  loading.Form_Load();
  EXPECT_FALSE(loading.IsOpen());

  EXPECT_EQ(support.reports,
            (std::vector<ErrorReport>{{"Error occurred.  Reason: The settings file is read-only.",
                                       false, "Tidewell.frmLookInFields"},
                                      {"Error occurred.  Reason: The settings file is damaged.",
                                       false, "Tidewell.frmLookInFields"}}));
}

TEST(LookInFieldsLayout, PlacesEveryBoxOnItsKindsPageAndEveryButton) {
  const auto& layout = LookInFieldsLayout();
  const auto find = [&](const std::string& name) -> const DialogControlLayout* {
    for (const auto& control : layout) {
      if (name == control.name) return &control;
    }
    return nullptr;
  };
  for (const CatalogRow& row : kFieldCatalog) {
    const DialogControlLayout* box = find(row.check_box);
    ASSERT_NE(box, nullptr) << row.check_box;
    EXPECT_STREQ(box->container, row.kind == FieldKind::Contact       ? "Picture1"
                                 : row.kind == FieldKind::Appointment ? "Picture2"
                                                                      : "Picture3");
    EXPECT_STREQ(box->caption, row.caption);
  }
  // Home Fax stands above Home Phone in the middle column.
  EXPECT_LT(find("chkHomeFax")->top, find("chkHomePhone")->top);

  FakeSettings settings;
  FakeSupport support;
  frmLookInFields dialog(settings, support);
  for (const Button* button : {&dialog.cmdOk, &dialog.cmdCancel, &dialog.cmdContactPhoneNumbers,
                               &dialog.cmdTaskClearAllFields}) {
    const DialogControlLayout* place = find(button->Name());
    ASSERT_NE(place, nullptr) << button->Name();
    EXPECT_EQ(button->Caption(), place->caption);
  }
}

}  // namespace
}  // namespace tidewell
