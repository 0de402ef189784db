// Text forms of dates in real locales (generated with localedef into a
// temporary LOCPATH), durations and whole numbers.
#include "platform/vdir/text_forms.h"

#include <clocale>
#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::vdir {
namespace {

using tidewell::testing::RunShell;
using tidewell::testing::TempDir;

struct LocaleCase {
  std::string locale;  // as localedef makes it: input, charmap
  std::string input;
  std::string date_time;  // 2024-03-01 14:05:09 as shown
  std::string date;       // 2024-03-01 as shown
};

class LocaleForms : public ::testing::TestWithParam<LocaleCase> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    setenv("LOCPATH", dir_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    std::setlocale(LC_TIME, "C");
    unsetenv("LOCPATH");
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    const LocaleCase& c = GetParam();
    if (c.input != "C") {
      std::string target = (dir_->path() / c.locale).string();
      RunShell("localedef -i " + c.input + " -f UTF-8 " + target + " >/dev/null 2>&1");
    }
    if (std::setlocale(LC_TIME, c.locale.c_str()) == nullptr) {
      GTEST_SKIP() << "locale " << c.locale << " cannot be made here (localedef, locales)";
    }
  }
  void TearDown() override { std::setlocale(LC_TIME, "C"); }

  static TempDir* dir_;
};

TempDir* LocaleForms::dir_ = nullptr;

TEST_P(LocaleForms, DatesShowInTheLocaleWithFourDigitYearsAndParseBack) {
  const LocaleCase& c = GetParam();
  IcalTime timed{{2024, 3, 1, 14, 5, 9}, TimeForm::kFloating};
  IcalTime day{{2024, 3, 1, 0, 0, 0}, TimeForm::kDate};
  EXPECT_EQ(DisplayTime(timed), c.date_time);
  EXPECT_EQ(DisplayTime(day), c.date);
  EXPECT_EQ(ParseDisplayedTime(c.date_time, TimeForm::kFloating).clock, timed.clock);
  EXPECT_EQ(ParseDisplayedTime(c.date, TimeForm::kDate).clock, day.clock);
  EXPECT_EQ(ParseDisplayedTime(c.date, TimeForm::kZoned).clock, day.clock);
  EXPECT_THROW(ParseDisplayedTime("2024-13-45", TimeForm::kFloating), Failure);
}

INSTANTIATE_TEST_SUITE_P(
    TextForms, LocaleForms,
    ::testing::Values(LocaleCase{"C", "C", "2024-03-01 14:05:09", "2024-03-01"},
                      LocaleCase{"de_DE.UTF-8", "de_DE", "01.03.2024 14:05:09", "01.03.2024"},
                      LocaleCase{"en_US.UTF-8", "en_US", "03/01/2024 02:05:09 PM", "03/01/2024"},
                      LocaleCase{"en_GB.UTF-8", "en_GB", "01/03/2024 14:05:09", "01/03/2024"}),
    [](const auto& row) {
      std::string name = row.param.input;
      return name;
    });

TEST(TextForms, IcalendarValuesKeepTheirForm) {
  struct Row {
    std::string value;
    bool tzid;
    std::optional<TimeForm> form;  // nothing: not a date
  };
  for (const Row& row : std::vector<Row>{{"20240301", false, TimeForm::kDate},
                                         {" 20240301T093000Z", false, TimeForm::kUtc},
                                         {"20240301T093000", true, TimeForm::kZoned},
                                         {"20240301T093000", false, TimeForm::kFloating},
                                         {"20240230", false, std::nullopt},
                                         {"20240301T250000", false, std::nullopt},
                                         {"2024-03-01", false, std::nullopt},
                                         {"20240301T0930", false, std::nullopt}}) {
    std::optional<IcalTime> t = ParseIcalValue(row.value, row.tzid);
    ASSERT_EQ(t.has_value(), row.form.has_value()) << row.value;
    if (!t) continue;
    EXPECT_EQ(t->form, *row.form) << row.value;
    std::string trimmed = row.value.substr(row.value.find_first_not_of(' '));
    EXPECT_EQ(FormatIcalValue(*t), trimmed);
  }
}

TEST(TextForms, DurationsAndWholeNumbers) {
  for (const auto& [text, seconds] : std::map<std::string, int64_t>{{"PT1H0M0S", 3600},
                                                                    {"PT90M", 5400},
                                                                    {"P1W", 604800},
                                                                    {"-P1DT2H", -93600},
                                                                    {"+PT15S", 15}}) {
    EXPECT_EQ(ParseDuration(text), seconds) << text;
  }
  for (const char* text : {"P", "PT", "P1H", "1H", "PT1X"}) {
    EXPECT_EQ(ParseDuration(text), std::nullopt) << text;
  }
  for (int64_t s : {0LL, 59LL, 3600LL, 5400LL, 86400LL, 93784LL, -93600LL}) {
    EXPECT_EQ(ParseDuration(FormatDuration(s, false)), s) << FormatDuration(s, false);
  }
  EXPECT_EQ(FormatDuration(172800, true), "P2D");
  EXPECT_EQ(ParseWholeNumber(" -7 "), -7);
  EXPECT_EQ(ParseWholeNumber("-2147483648"), INT32_MIN);
  for (const char* text : {"2147483648", "", "-", "1.5", "1 000"}) {
    EXPECT_EQ(ParseWholeNumber(text), std::nullopt) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace tidewell::vdir
