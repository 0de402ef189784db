#include "engine/replace_engine.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_components.h"
#include "text/rich_text.h"

namespace tidewell::testing {
namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

// The five undo records of each changed field (name, old value) of item "i1"
// in folder "f" of store "s".
Texts Entries(const Writes& fields) {
  Texts records;
  for (const auto& [field, old] : fields) {
    records.insert(records.end(), {"FolderStoreId: s", "FolderEntryId: f", "ItemEntryId: i1",
                                   "FieldName: " + field, "FieldValue: " + old});
  }
  return records;
}

class ReplaceEngineTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeItem> Make(FieldKind kind, Properties fields) {
    const char* types[] = {"ContactItem", "AppointmentItem", "TaskItem"};
    const char* subjects[] = {"Ann Lee", "Lunch", "Report"};
    return MakeItem(types[int(kind)], "i1", subjects[int(kind)], std::move(fields));
  }

  bool Run(FieldKind kind, const std::shared_ptr<FakeItem>& item, const std::string& search,
           const std::string& replace, int32_t caseSensitive = 0) {
    const std::pair<const char*, decltype(&ReplaceEngine::SearchAndReplaceTasks)> procedures[] = {
        {kSafeContactItem, &ReplaceEngine::SearchAndReplaceContacts},
        {kSafeAppointmentItem, &ReplaceEngine::SearchAndReplaceAppointments},
        {kSafeTaskItem, &ReplaceEngine::SearchAndReplaceTasks}};
    const auto& [progId, procedure] = procedures[int(kind)];
    FakeSafeItem wrapper(progId);
    wrapper.SetItem(item);
    return (engine.*procedure)("s", "f", wrapper, search, replace, caseSensitive);
  }

  // The one report expected, with the procedure's line mark.
  Texts Report(FieldKind kind, int32_t mark, const std::string& reason) {
    const char* procedures[] = {"Contacts", "Appointments", "Tasks"};
    return {std::string("Tidewell.SearchAndReplace") + procedures[int(kind)] +
            "|Error occurred at line " + std::to_string(mark) + ".  Reason: " + reason};
  }

  void Clear() {
    components.log.clear();
    components.support.reports.clear();
  }

  FakeComponents components;
  Journal journal{components};
  LiteralMatcher matcher;
  FieldSelection selection;
  ReplaceEngine engine{matcher, selection, journal};
};

TEST_F(ReplaceEngineTest, AreaCodeRuleSearchesFromTheFirstOpenToTheFirstClose) {
  const std::string kAreaOnly = kOnlyAreaCodes;
  const struct {
    std::string instruction, number, search, replace;
    std::optional<std::string> written;
  } rows[] = {{kAreaOnly, "(555) 123-4567", "555", "777", "(777) 123-4567"},
              {kAreaOnly, "+1 (555) 555-1234", "555", "777", "+1 (777) 555-1234"},
              {kAreaOnly, "555-1234", "555", "777", std::nullopt},
              {"None", "555-1234", "555", "777", "777-1234"},
              {"only look in city/area codes", "(555) 555", "555", "7", "(7) 7"},
              {kAreaOnly, "(555) 123-4567", "5", "", "() 123-4567"},
              {kAreaOnly, "(555) 123-4567 (555)", "555", "777", "(777) 123-4567 (555)"},
              {kAreaOnly, "(555) 123-4567 (home)", "home", "x", std::nullopt},
              {kAreaOnly, "(555) 123-4567", "123", "777", std::nullopt},
              {kAreaOnly, "(555) 123", "(5", "[", "[55) 123"},
              {kAreaOnly, "555)(123", ")(", "-", std::nullopt}};
  selection["BusinessPhone"] = 1;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.instruction + ": " + row.number);
    Clear();
    selection.SpecialInstructions = row.instruction;
    auto item = Make(FieldKind::Contact, {{"BusinessTelephoneNumber", row.number}});
    EXPECT_EQ(Run(FieldKind::Contact, item, row.search, row.replace), row.written.has_value());
    EXPECT_EQ(item->properties().at("BusinessTelephoneNumber"), row.written.value_or(row.number));
    EXPECT_EQ(components.UndoMessages(),
              row.written ? Entries({{"BusinessTelephoneNumber", row.number}}) : Texts{});
    EXPECT_EQ(components.support.Reports(), Texts{});
  }

  // ")" two places or more before "(" fails the step; fields before it stay written.
  Clear();
  selection["AccountName"] = selection["CompanyName"] = 1;
  auto item =
      Make(FieldKind::Contact,
           {{"Account", "555"}, {"BusinessTelephoneNumber", "555) 1 (2"}, {"CompanyName", "555"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "555", "777"));
  EXPECT_EQ(components.support.Reports(),
            Report(FieldKind::Contact, 90,
                   "Field BusinessTelephoneNumber: Invalid procedure call or argument"));
  EXPECT_EQ(item->properties().at("Account"), "777");
  EXPECT_EQ(item->properties().at("CompanyName"), "555");
}

TEST_F(ReplaceEngineTest, SelectedFieldsOfOneItemInCatalogOrderUnderItsCaseFlag) {
  selection["CompanyName"] = selection["FileAs"] = selection["OfficeLocation"] = 1;
  auto item = Make(
      FieldKind::Contact,
      {{"CompanyName", "Acme Ltd"}, {"FileAs", "Smith, Acme"}, {"OfficeLocation", "ACME Dock"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "Acme", "Apex", 1));
  EXPECT_EQ(components.UndoMessages(),
            Entries({{"CompanyName", "Acme Ltd"}, {"FileAs", "Smith, Acme"}}));
  EXPECT_EQ(components.ProgressLines(),
            Texts{"SearchAndReplaceContacts|Checking contact: Ann Lee"});
  EXPECT_EQ(item->properties().at("FileAs"), "Smith, Apex");
  EXPECT_EQ(item->save_count(), 0);  // the run saves, not the procedure

  EXPECT_TRUE(Run(FieldKind::Contact, item, "Acme", "Apex", 0));
  EXPECT_EQ(item->properties().at("OfficeLocation"), "Apex Dock");
}

// Phones and e-mail addresses beyond the catalog's slots come after the
// catalog's fields, under their kind's first slot: its flag, its mark, its
// name and "#" and the place for the journal.
TEST_F(ReplaceEngineTest, ValuesBeyondTheSlotsFollowTheCatalogUnderTheirKindsFirstSlot) {
  selection["BusinessPhone"] = selection["EmailAddress"] = 1;
  for (const bool areaOnly : {false, true}) {
    SCOPED_TRACE(areaOnly);
    Clear();
    selection.SpecialInstructions = areaOnly ? kOnlyAreaCodes : "None";
    auto item = Make(FieldKind::Contact, {{"BusinessTelephoneNumber", "(555) 1"},
                                          {"Business2TelephoneNumber", "2"},
                                          {"BusinessTelephoneNumber#", "4"},
                                          {"BusinessTelephoneNumber#3", "(555) 555"},
                                          {"BusinessTelephoneNumber#4", "none"},
                                          {"Email1Address#", "4"},
                                          {"Email1Address#4", "a555@x"},
                                          {"HomeTelephoneNumber#", "2"},
                                          {"HomeTelephoneNumber#3", "555"}});
    item->FailRead("HomeTelephoneNumber#", "not selected: never read");
    EXPECT_TRUE(Run(FieldKind::Contact, item, "555", "777"));
    EXPECT_EQ(components.support.Reports(), Texts{});
    EXPECT_EQ(components.UndoMessages(), Entries({{"BusinessTelephoneNumber", "(555) 1"},
                                                  {"BusinessTelephoneNumber#3", "(555) 555"},
                                                  {"Email1Address#4", "a555@x"}}));
    EXPECT_EQ(item->properties().at("BusinessTelephoneNumber#3"),
              areaOnly ? "(777) 555" : "(777) 777");
    EXPECT_EQ(item->properties().at("Email1Address#4"), "a777@x");
    EXPECT_EQ(item->properties().at("HomeTelephoneNumber#3"), "555");
  }
}

TEST_F(ReplaceEngineTest, EveryStepReportsItsOwnLineMark) {
  for (FieldKind kind : {FieldKind::Contact, FieldKind::Appointment, FieldKind::Task}) {
    for (const CatalogRow& step : FieldsOf(kind)) {
      SCOPED_TRACE(step.property);
      selection = FieldSelection{};
      selection[step] = 1;
      Clear();
      const bool body = step.handling == FieldHandling::kBody;
      auto item = Make(kind, {{step.property, "x"}, {"RTFBody", RtfFromPlainText("x")}});
      item->FailWrite(body ? "RTFBody" : step.property, "Refused");
      EXPECT_FALSE(Run(kind, item, "x", "y"));
      const bool stepped = step.handling == FieldHandling::kWholeValueLogged;
      EXPECT_EQ(components.support.Reports(),
                Report(kind, step.line_mark + (stepped ? 6 : 0), "Refused"));
      EXPECT_EQ(components.UndoMessages(),
                Entries({{step.property, body ? RtfFromPlainText("x") : "x"}}));
    }
  }
}

TEST_F(ReplaceEngineTest, FirstEmailAddressIsLoggedAndMovesItsMarkOnStepByStep) {
  selection["EmailAddress"] = 1;
  auto item = Make(FieldKind::Contact, {{"Email1Address", "ann@old.example"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "old", "new"));
  EXPECT_EQ(components.ProgressLines(),
            (Texts{"SearchAndReplaceContacts|Checking contact: Ann Lee",
                   "TidewellContacts|Updated Email1Address: ann@new.example"}));

  const struct {
    const char* failing;  // "read X", "write X", "pattern" or "log"
    std::string replace;
    int32_t mark;
  } rows[] = {{"read Email1Address", "new", 171},
              {"pattern", "new", 173},
              {"read EntryID", "new", 174},
              {"write Email1Address", "new", 176},
              {"write Email1Address", "", 175},
              {"log", "new", 176},
              {"log", "", 175}};
  for (const auto& row : rows) {
    const std::string failing = row.failing;
    SCOPED_TRACE(failing + " replacing with '" + row.replace + "'");
    Clear();
    components.fail_log_line =
        failing == "log" ? std::optional(components.log_attempts + 7) : std::nullopt;
    matcher.fail_pattern = failing == "pattern" ? std::optional<std::string>("Bad") : std::nullopt;
    auto failing_item = Make(FieldKind::Contact, {{"Email1Address", "ann@old.example"}});
    if (failing.starts_with("read ")) failing_item->FailRead(failing.substr(5), "Bad");
    if (failing.starts_with("write ")) failing_item->FailWrite(failing.substr(6), "Bad");
    // An item whose only change could not be logged is not saved.
    EXPECT_FALSE(Run(FieldKind::Contact, failing_item, "old", row.replace));
    EXPECT_EQ(components.support.Reports(),
              Report(FieldKind::Contact, row.mark, failing == "log" ? "Permission denied" : "Bad"));
  }
}

TEST_F(ReplaceEngineTest, BodyTestsPlainTextAndRewritesShownRichText) {
  const std::string rtf = R"({\rtf1{\fonttbl{\f0 Acme;}}\f0 Call {\b Acme} now\par})";
  const struct {
    FieldKind kind;
    const char* key;
    std::string plain;
    std::string rich;
    std::optional<std::string> written;
  } rows[] = {
      {FieldKind::Contact, "Body", "Call Acme now", rtf,
       R"({\rtf1{\fonttbl{\f0 Acme;}}\f0 Call {\b Apex} now\par})"},
      {FieldKind::Appointment, "AppointmentBody", "Call Acme", R"({\rtf1 Call})", std::nullopt},
      {FieldKind::Task, "TaskBody", "Call", rtf, std::nullopt}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.plain);
    selection = FieldSelection{};
    selection[row.key] = 1;
    Clear();
    auto item = Make(row.kind, {{"Body", row.plain}, {"RTFBody", row.rich}});
    EXPECT_EQ(Run(row.kind, item, "acme", "Apex"), row.written.has_value());
    EXPECT_EQ(item->writes(), (row.written ? Writes{{"RTFBody", *row.written}} : Writes{}));
    EXPECT_EQ(components.UndoMessages(), row.written ? Entries({{"Body", row.rich}}) : Texts{});
    const bool rich_read = std::count(item->reads().begin(), item->reads().end(), "RTFBody") > 0;
    EXPECT_EQ(rich_read, row.plain.find("Acme") != std::string::npos);
  }
}

TEST_F(ReplaceEngineTest, NothingSelectedOnlyLogs) {
  auto item = Make(FieldKind::Task, {{"ActualWork", "30"}});
  EXPECT_FALSE(Run(FieldKind::Task, item, "30", "45"));
  EXPECT_EQ(components.ProgressLines(), Texts{"SearchAndReplaceTasks|Checking Task: Report"});
  EXPECT_EQ(item->reads(), Texts{"Subject"});

  components.fail_log_line = components.log_attempts + 1;
  EXPECT_FALSE(Run(FieldKind::Appointment, Make(FieldKind::Appointment, {}), "a", "b"));
  EXPECT_EQ(components.support.Reports(), Report(FieldKind::Appointment, 0, "Permission denied"));
}

}  // namespace
}  // namespace tidewell::testing
