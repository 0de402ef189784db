#include "engine/replace_engine.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/rich_text.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell {
namespace {

using testing::ErrorReport;
using testing::FakeComponents;
using testing::FakeItem;
using testing::FakeSafeItem;
using testing::LiteralMatcher;
using Fields = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;
using Writes = std::vector<std::pair<std::string, std::string>>;

// The five undo records of one changed field of item "i1" in folder "f" of
// store "s".
Texts Entry(const std::string& field, const std::string& old) {
  return {"FolderStoreId: s", "FolderEntryId: f", "ItemEntryId: i1", "FieldName: " + field,
          "FieldValue: " + old};
}

class ReplaceEngineTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeItem> Make(FieldKind kind, Fields fields) {
    if (kind == FieldKind::Contact) return testing::MakeContact("i1", "Ann Lee", std::move(fields));
    return kind == FieldKind::Appointment
               ? testing::MakeAppointment("i1", "Lunch", std::move(fields))
               : testing::MakeTask("i1", "Report", std::move(fields));
  }

  bool Run(FieldKind kind, const std::shared_ptr<FakeItem>& item, const std::string& search,
           const std::string& replace, int32_t caseSensitive = 0) {
    const bool contact = kind == FieldKind::Contact;
    const bool appointment = kind == FieldKind::Appointment;
    FakeSafeItem wrapper(contact       ? kSafeContactItem
                         : appointment ? kSafeAppointmentItem
                                       : kSafeTaskItem);
    wrapper.SetItem(item);
    const auto procedure = contact       ? &ReplaceEngine::SearchAndReplaceContacts
                           : appointment ? &ReplaceEngine::SearchAndReplaceAppointments
                                         : &ReplaceEngine::SearchAndReplaceTasks;
    return (engine.*procedure)("s", "f", wrapper, search, replace, caseSensitive);
  }

  std::vector<ErrorReport>& reports() { return components.support.reports; }

  FakeComponents components;
  Journal journal{components};
  LiteralMatcher matcher;
  FieldSelection selection;
  ReplaceEngine engine{matcher, selection, journal};
};

TEST_F(ReplaceEngineTest, FieldRule) {
  struct Row {
    std::string field, search, replace;
    bool caseSensitive;
    std::optional<std::string> written;  // nothing: neither journalled nor written
  };
  const Row rows[] = {
      {"cat and cat", "cat", "dog", false, "dog and dog"},
      {"cat and cat", "cat", "", false, " and "},
      {"cat", "cat", "", false, ""},
      {"a", "a", "a", false, "a"},
      {"ab ab", "ab", "abab", false, "abab abab"},
      {"CAT Cat", "cat", "dog", false, "dog dog"},
      {"CAT Cat", "cat", "dog", true, std::nullopt},
      {"dog", "cat", "dog", false, std::nullopt},
      {"", "cat", "dog", false, std::nullopt},
  };
  for (const Row& row : rows) {
    components.log.clear();
    auto item = Make(FieldKind::Task, {{"Companies", row.field}});
    FakeSafeItem wrapper(kSafeTaskItem);
    wrapper.SetItem(item);
    matcher.SetCaseSensitive(row.caseSensitive);
    bool changed = false;
    engine.ReplaceFieldText({"s", "f", wrapper, row.search, row.replace}, "Companies", "Co",
                            changed);
    SCOPED_TRACE(row.field + " / " + row.search + " -> " + row.replace);
    EXPECT_EQ(changed, row.written.has_value());
    EXPECT_EQ(item->writes(), (row.written ? Writes{{"Companies", *row.written}} : Writes{}));
    EXPECT_EQ(components.UndoMessages(), row.written ? Entry("Co", row.field) : Texts{});
  }
}

TEST_F(ReplaceEngineTest, PhoneAreaPart) {
  struct Row {
    std::string instruction, number, search, replace;
    std::optional<std::string> written;
  };
  const std::string kAreaOnly = kOnlyAreaCodes;
  const Row rows[] = {
      {kAreaOnly, "(555) 123-4567", "555", "777", "(777) 123-4567"},
      {kAreaOnly, "+1 (555) 555-1234", "555", "777", "+1 (777) 555-1234"},
      {kAreaOnly, "555-1234", "555", "777", std::nullopt},
      {"None", "555-1234", "555", "777", "777-1234"},
      {"only look in city/area codes", "(555) 555", "555", "7", "(7) 7"},
      {kAreaOnly, "(555) 123-4567", "5", "", "() 123-4567"},
      {kAreaOnly, "(555) 123-4567 (555)", "555", "777", "(777) 123-4567 (555)"},
      {kAreaOnly, "(555) 123-4567 (home)", "home", "x", std::nullopt},
      {kAreaOnly, "(555) 123-4567", "123", "777", std::nullopt},
      {kAreaOnly, "(555) 123", "(5", "[", "[55) 123"},
      {kAreaOnly, "555)(123", ")(", "-", std::nullopt},
  };
  selection.BusinessPhone = 1;
  for (const Row& row : rows) {
    components.log.clear();
    selection.SpecialInstructions = row.instruction;
    auto item = Make(FieldKind::Contact, {{"BusinessTelephoneNumber", row.number}});
    SCOPED_TRACE(row.instruction + ": " + row.number);
    EXPECT_EQ(Run(FieldKind::Contact, item, row.search, row.replace), row.written.has_value());
    EXPECT_EQ(item->properties().at("BusinessTelephoneNumber"), row.written.value_or(row.number));
    EXPECT_EQ(components.UndoMessages(),
              row.written ? Entry("BusinessTelephoneNumber", row.number) : Texts{});
  }
  EXPECT_TRUE(reports().empty());
}

TEST_F(ReplaceEngineTest, CloseBeforeOpenFailsAtThePhoneStep) {
  selection.AccountName = selection.BusinessPhone = selection.CompanyName = 1;
  selection.SpecialInstructions = kOnlyAreaCodes;
  auto item =
      Make(FieldKind::Contact,
           {{"Account", "555"}, {"BusinessTelephoneNumber", "555) 1 (2"}, {"CompanyName", "555"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "555", "777"));
  EXPECT_EQ(reports(),
            (std::vector<ErrorReport>{
                {"Error occurred at line 90.  Reason: Invalid procedure call or argument", false,
                 "Tidewell.SearchAndReplaceContacts"}}));
  EXPECT_EQ(item->properties().at("Account"), "777");
  EXPECT_EQ(item->properties().at("CompanyName"), "555");
}

TEST_F(ReplaceEngineTest, SeveralFieldsOfOneContact) {
  selection.CompanyName = selection.FileAs = selection.OfficeLocation = 1;
  auto item =
      Make(FieldKind::Contact,
           {{"CompanyName", "Acme Ltd"}, {"FileAs", "Smith, Acme"}, {"OfficeLocation", "Dock 4"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "Acme", "Apex"));
  Texts entries = Entry("CompanyName", "Acme Ltd");
  for (const std::string& record : Entry("FileAs", "Smith, Acme")) entries.push_back(record);
  EXPECT_EQ(components.UndoMessages(), entries);
  EXPECT_EQ(components.ProgressLines(),
            Texts{"SearchAndReplaceContacts|Checking contact: Ann Lee"});
  EXPECT_EQ(item->properties().at("FileAs"), "Smith, Apex");
  EXPECT_EQ(item->save_count(), 0);
}

TEST_F(ReplaceEngineTest, EveryStepReportsItsOwnLineMark) {
  for (FieldKind kind : {FieldKind::Contact, FieldKind::Appointment, FieldKind::Task}) {
    for (const FieldStep& step : FieldSteps(kind)) {
      selection = FieldSelection{};
      selection.*step.flag = 1;
      reports().clear();
      components.log.clear();
      const bool body = step.handling == FieldHandling::kBody;
      auto item = Make(kind, {{step.property, "x"}, {"RTFBody", RtfFromPlainText("x")}});
      item->FailWrite(body ? "RTFBody" : step.property, "Refused");
      EXPECT_FALSE(Run(kind, item, "x", "y"));
      const int32_t mark =
          step.handling == FieldHandling::kWholeValueLogged ? step.line_mark + 6 : step.line_mark;
      ASSERT_EQ(reports().size(), 1u) << step.property;
      EXPECT_EQ(reports()[0].message,
                "Error occurred at line " + std::to_string(mark) + ".  Reason: Refused");
      EXPECT_EQ(components.UndoMessages(),
                Entry(step.journal_name, body ? RtfFromPlainText("x") : "x"));
    }
  }
}

TEST_F(ReplaceEngineTest, FirstEmailAddressStep) {
  selection.EmailAddress = 1;
  auto item = Make(FieldKind::Contact, {{"Email1Address", "ann@old.example"}});
  EXPECT_TRUE(Run(FieldKind::Contact, item, "old", "new"));
  EXPECT_EQ(components.ProgressLines(),
            (Texts{"SearchAndReplaceContacts|Checking contact: Ann Lee",
                   "TidewellContacts|Updated Email1Address: ann@new.example"}));

  struct Row {
    const char* situation;
    std::string replace;
    int fail_log_line;  // 0: the log does not fail
    const char* fail_read;
    const char* fail_write;
    bool fail_pattern;
    int32_t mark;
  };
  const Row rows[] = {
      {"reading the address", "new", 0, "Email1Address", nullptr, false, 171},
      {"setting the pattern", "new", 0, nullptr, nullptr, true, 173},
      {"reading the entry id", "new", 0, "EntryID", nullptr, false, 174},
      {"writing", "new", 0, nullptr, "Email1Address", false, 176},
      {"writing an empty replacement", "", 0, nullptr, "Email1Address", false, 175},
      {"the log line", "new", 7, nullptr, nullptr, false, 176},
      {"the log line after an empty replacement", "", 7, nullptr, nullptr, false, 175},
  };
  for (const Row& row : rows) {
    components.log.clear();
    components.log_attempts = 0;
    reports().clear();
    components.fail_log_line =
        row.fail_log_line == 0 ? std::nullopt : std::optional(row.fail_log_line);
    matcher.fail_pattern = row.fail_pattern ? std::optional<std::string>("Bad") : std::nullopt;
    auto failing = Make(FieldKind::Contact, {{"Email1Address", "ann@old.example"}});
    if (row.fail_read) failing->FailRead(row.fail_read, "Bad");
    if (row.fail_write) failing->FailWrite(row.fail_write, "Bad");
    // The flag is set only after the log line: an item whose only change
    // could not be logged is not saved.
    EXPECT_FALSE(Run(FieldKind::Contact, failing, "old", row.replace)) << row.situation;
    ASSERT_EQ(reports().size(), 1u) << row.situation;
    EXPECT_EQ(reports()[0].message,
              "Error occurred at line " + std::to_string(row.mark) +
                  ".  Reason: " + (row.fail_log_line ? "Permission denied" : "Bad"))
        << row.situation;
  }
}

TEST_F(ReplaceEngineTest, BodyTestsPlainTextAndRewritesShownRichText) {
  const std::string rtf = R"({\rtf1{\fonttbl{\f0 Acme;}}\f0 Call {\b Acme} now\par})";
  struct Row {
    FieldKind kind;
    int32_t FieldSelection::*flag;
    std::string plain;
    std::string rich;
    std::optional<std::string> written;
  };
  const Row rows[] = {
      {FieldKind::Contact, &FieldSelection::Body, "Call Acme now", rtf,
       R"({\rtf1{\fonttbl{\f0 Acme;}}\f0 Call {\b Apex} now\par})"},
      {FieldKind::Appointment, &FieldSelection::AppointmentBody, "Call Acme", R"({\rtf1 Call})",
       std::nullopt},
      {FieldKind::Task, &FieldSelection::TaskBody, "Call", rtf, std::nullopt},
  };
  for (const Row& row : rows) {
    selection = FieldSelection{};
    selection.*row.flag = 1;
    components.log.clear();
    auto item = Make(row.kind, {{"Body", row.plain}, {"RTFBody", row.rich}});
    EXPECT_EQ(Run(row.kind, item, "acme", "Apex"), row.written.has_value());
    EXPECT_EQ(item->writes(), (row.written ? Writes{{"RTFBody", *row.written}} : Writes{}));
    EXPECT_EQ(components.UndoMessages(), row.written ? Entry("Body", row.rich) : Texts{});
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
  EXPECT_EQ(reports().at(0).message, "Error occurred at line 0.  Reason: Permission denied");
}

TEST_F(ReplaceEngineTest, CaseFlagSetPerItem) {
  selection.AppointmentLocation = 1;
  EXPECT_FALSE(Run(FieldKind::Appointment, Make(FieldKind::Appointment, {{"Location", "ROOM"}}),
                   "room", "hall", 1));
  EXPECT_TRUE(matcher.case_sensitive());
  EXPECT_TRUE(Run(FieldKind::Appointment, Make(FieldKind::Appointment, {{"Location", "ROOM"}}),
                  "room", "hall", 0));
  EXPECT_FALSE(matcher.case_sensitive());
}

}  // namespace
}  // namespace tidewell
