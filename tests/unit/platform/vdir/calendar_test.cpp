// Appointments and tasks over iCalendar files: the master component, dates in
// their own form, End through DURATION, numbers, and refused texts.
#include <cstdlib>
#include <ctime>
#include <regex>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

// UTC times show in the local zone: one with daylight saving.
class NewYorkTime : public ::testing::Test {
  ScopedTimeZone zone_{"EST5EDT,M3.2.0,M11.1.0"};
};

std::string Event(const std::string& lines) {
  return Lines("BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:u\nSUMMARY:s\n" + lines +
               "END:VEVENT\nEND:VCALENDAR\n");
}

std::string Todo(const std::string& lines) {
  return Lines("BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VTODO\nUID:u\nSUMMARY:s\n" + lines +
               "END:VTODO\nEND:VCALENDAR\n");
}

const std::string kRecurring = Lines(
    "BEGIN:VCALENDAR\nVERSION:2.0\n"
    "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nBEGIN:STANDARD\nDTSTART:19701025T030000\n"
    "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\nEND:VTIMEZONE\n"
    "BEGIN:VEVENT\nUID:x\nRECURRENCE-ID:20240308T083000Z\nSUMMARY:Override\n"
    "DTSTART:20240308T100000Z\nDTSTAMP:20240101T000000Z\nEND:VEVENT\n"
    "BEGIN:VEVENT\nUID:x\nDTSTAMP:20240101T000000Z\nSUMMARY:Master\n"
    "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:Alarm text\nTRIGGER:-PT15M\nEND:VALARM\n"
    "DESCRIPTION:Master text\nLOCATION:Room 1\n"
    "DTSTART;TZID=Europe/Berlin:20240301T093000\nDURATION:PT1H30M\n"
    "LAST-MODIFIED:20240101T000000Z\nRRULE:FREQ=WEEKLY\nEND:VEVENT\nEND:VCALENDAR\n");

TEST_F(NewYorkTime, TheMasterComponentAloneIsReadAndWritten) {
  OneFolderStore s({{"r.ics", kRecurring}});
  auto item = s.Item("r.ics");
  EXPECT_EQ(item->TypeName(), "AppointmentItem");
  EXPECT_EQ(item->GetProperty("Subject"), "Master");
  EXPECT_EQ(item->GetProperty("Body"), "Master text");
  EXPECT_EQ(item->GetProperty("Location"), "Room 1");
  EXPECT_EQ(item->GetProperty("Start"), "2024-03-01 09:30:00");
  EXPECT_EQ(item->GetProperty("End"), "2024-03-01 11:00:00");

  item->SetProperty("Subject", "Main");
  item->SetProperty("End", "2024-03-01 11:30:00");
  item->Save();

  std::vector<RawLogicalLine> before = RawLogicalLines(kRecurring);
  std::vector<RawLogicalLine> after = RawLogicalLines(ReadFile(s.File("r.ics")));
  ASSERT_EQ(before.size(), after.size());
  int stamps = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].raw == after[i].raw) continue;
    if (before[i].name == "DTSTAMP" || before[i].name == "LAST-MODIFIED") {
      EXPECT_TRUE(
          std::regex_match(after[i].raw, std::regex(before[i].name + ":\\d{8}T\\d{6}Z\r\n")));
      ++stamps;
      continue;
    }
    EXPECT_TRUE(after[i].raw == "SUMMARY:Main\r\n" || after[i].raw == "DURATION:PT2H\r\n")
        << after[i].raw;
  }
  EXPECT_EQ(stamps, 2) << "the override's DTSTAMP is not the master's";
  EXPECT_EQ(s.Item("r.ics")->GetProperty("End"), "2024-03-01 11:30:00");
}

TEST_F(NewYorkTime, AFileOfOverridesOnlyUsesItsFirstComponent) {
  OneFolderStore s({{"o.ics", Lines("BEGIN:VCALENDAR\nBEGIN:VEVENT\nRECURRENCE-ID:20170329T160000\n"
                                    "SUMMARY:First\nEND:VEVENT\nBEGIN:VEVENT\n"
                                    "RECURRENCE-ID:20170330T160000\nSUMMARY:Second\nEND:VEVENT\n"
                                    "END:VCALENDAR\n")}});
  EXPECT_EQ(s.Item("o.ics")->GetProperty("Subject"), "First");
}

struct FormCase {
  std::string name;
  std::string file;
  std::string property;
  std::string shown;
  std::string text;
  std::string line;  // the property's line afterwards
};

class DateAndNumberForms : public NewYorkTime, public ::testing::WithParamInterface<FormCase> {};

TEST_P(DateAndNumberForms, ReadInTheirTextFormAndWriteBackInTheirOwnForm) {
  const FormCase& c = GetParam();
  OneFolderStore s({{"d.ics", c.file}});
  auto item = s.Item("d.ics");
  EXPECT_EQ(item->GetProperty(c.property), c.shown);
  item->SetProperty(c.property, c.text);
  EXPECT_EQ(item->GetProperty(c.property), c.text);
  item->Save();
  EXPECT_TRUE(Contains(ReadFile(s.File("d.ics")), "\r\n" + c.line + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, DateAndNumberForms,
    ::testing::Values(
        FormCase{"date", Event("DTSTART;VALUE=DATE:20240301\n"), "Start", "2024-03-01",
                 "2024-03-05", "DTSTART;VALUE=DATE:20240305"},
        FormCase{"zoned", Event("DTSTART;TZID=Europe/Berlin:20240301T093000\n"), "Start",
                 "2024-03-01 09:30:00", "2024-03-01 10:00:00",
                 "DTSTART;TZID=Europe/Berlin:20240301T100000"},
        FormCase{"floating", Event("DTSTART:20240301T093000\n"), "StartDate", "2024-03-01 09:30:00",
                 "2024-03-02 09:30:00", "DTSTART:20240302T093000"},
        FormCase{"utc_in_winter_and_summer", Event("DTSTART:20240301T150000Z\n"), "Start",
                 "2024-03-01 10:00:00", "2024-07-01 11:00:00", "DTSTART:20240701T150000Z"},
        FormCase{"midnight_shows_the_date_alone", Event("DTEND:20240301T000000\n"), "End",
                 "2024-03-01", "2024-03-02", "DTEND:20240302T000000"},
        FormCase{"duration_after_a_date", Event("DTSTART;VALUE=DATE:20240301\nDURATION:P1D\n"),
                 "End", "2024-03-02", "2024-03-04", "DURATION:P3D"},
        FormCase{"due_date", Todo("DUE;VALUE=DATE:20070501\n"), "DueDate", "2007-05-01",
                 "2007-05-08", "DUE;VALUE=DATE:20070508"},
        FormCase{"completed", Todo("COMPLETED:20240301T120000Z\n"), "DateCompleted",
                 "2024-03-01 07:00:00", "2024-03-01 08:00:00", "COMPLETED:20240301T130000Z"},
        FormCase{"whole_minutes", Todo("X-ACTUAL-WORK:30\n"), "ActualWork", "30", "45",
                 "X-ACTUAL-WORK:45"},
        FormCase{"total_work", Todo("X-TOTAL-WORK:+0120\n"), "TotalWork", "120", "-5",
                 "X-TOTAL-WORK:-5"},
        FormCase{"text_extension", Todo("X-MILEAGE:12 km\\, city\n"), "Mileage", "12 km, city",
                 "13 km; town", "X-MILEAGE:13 km\\; town"}),
    [](const auto& row) { return row.param.name; });

struct RefusedCase {
  std::string name;
  std::string file;
  std::string property;
  std::string text;
  std::string message;
};

class RefusedTexts : public NewYorkTime, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedTexts, FailWithTheTypeAndLeaveTheItemAlone) {
  const RefusedCase& c = GetParam();
  OneFolderStore s({{"d.ics", c.file}});
  auto item = s.Item("d.ics");
  try {
    item->SetProperty(c.property, c.text);
    FAIL() << "accepted '" << c.text << "'";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(), c.message);
  }
  item->Save();
  EXPECT_EQ(ReadFile(s.File("d.ics")), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, RefusedTexts,
    ::testing::Values(RefusedCase{"time_of_day_for_a_date", Event("DTSTART;VALUE=DATE:20240301\n"),
                                  "Start", "2024-03-05 10:00:00",
                                  "Type mismatch: '2024-03-05 10:00:00' is not a date."},
                      RefusedCase{"words", Event("DTSTART:20240301T150000Z\n"), "Start",
                                  "next Tuesday", "Type mismatch: 'next Tuesday' is not a date."},
                      RefusedCase{"no_such_day", Todo("DUE:20240301T150000\n"), "DueDate",
                                  "2024-02-30", "Type mismatch: '2024-02-30' is not a date."},
                      RefusedCase{"empty_date", Event("DTEND:20240301T150000\n"), "End", "",
                                  "Type mismatch: '' is not a date."},
                      RefusedCase{"letters_in_a_number", Todo("X-ACTUAL-WORK:30\n"), "ActualWork",
                                  "4x", "Type mismatch: '4x' is not a whole number."},
                      RefusedCase{"number_beyond_32_bits", Todo("X-TOTAL-WORK:30\n"), "TotalWork",
                                  "99999999999",
                                  "Type mismatch: '99999999999' is not a whole number."}),
    [](const auto& row) { return row.param.name; });

TEST_F(NewYorkTime, AValueThatIsNoDateFailsItsReadOnly) {
  OneFolderStore s({{"b.ics", Event("DTSTART:soon\n")}});
  auto item = s.Item("b.ics");
  EXPECT_EQ(item->GetProperty("Subject"), "s");
  try {
    item->GetProperty("Start");
    FAIL() << "read a date from 'soon'";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(), "DTSTART on line 6 holds no date: 'soon'.");
  }
}

}  // namespace
}  // namespace tidewell::testing
