// Text forms of the store's numbers and dates: what a property read gives and
// what a property write accepts. Internal to the vdir store.
//
// Dates follow the process's LC_TIME locale (the host calls setlocale): its
// D_FMT and T_FMT with four-digit years, or "YYYY-MM-DD HH:MM:SS" in the C,
// C.UTF-8 and POSIX locales. A date alone is shown for a DATE value and for a
// time at midnight.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell::formats {

struct WallClock {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const WallClock&, const WallClock&) = default;
};

// How an iCalendar value states its time; a write keeps it.
enum class TimeForm {
  kDate,      // VALUE=DATE: a day
  kUtc,       // ...Z: shown in the local zone
  kZoned,     // TZID=...: shown as its own wall clock
  kFloating,  // no zone: shown as it stands
};

struct IcalTime {
  WallClock clock;
  TimeForm form = TimeForm::kFloating;
};

// "20240301", "20240301T093000", "20240301T093000Z" (blanks around ignored).
// Nothing when the value is none of these or names no real day and time.
std::optional<IcalTime> ParseIcalValue(std::string_view value, bool hasTzid);
// The value text of `time` in its own form.
std::string FormatIcalValue(const IcalTime& time);

// The locale text of `time`: UTC times in the local zone, others as written.
std::string DisplayTime(const IcalTime& time);
// Parses a locale text back into `form` (a UTC time is taken as local time).
// Throws Failure("Type mismatch: '<text>' is not a date.") when it does not
// parse, names no real day, or gives a time of day for a DATE.
IcalTime ParseDisplayedTime(const std::string& text, TimeForm form);

// Seconds between two wall clocks, as if both were UTC.
int64_t SecondsOf(const WallClock& clock);
WallClock ClockOf(int64_t seconds);

// RFC 5545 durations such as "PT1H30M", "P2D", "-P1W"; nothing when invalid.
std::optional<int64_t> ParseDuration(std::string_view text);
// `seconds` as a duration; whole days as "P<n>D" when `days` is set.
std::string FormatDuration(int64_t seconds, bool days);

// Whole numbers: decimal digits with an optional sign, 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);
// Throws Failure("Type mismatch: '<text>' is not a whole number.").
int32_t WholeNumberOrThrow(const std::string& text);

// "YYYYMMDDTHHMMSSZ", or "YYYY-MM-DDTHH:MM:SSZ" when `extended`.
std::string UtcStamp(std::time_t when, bool extended);

}  // namespace tidewell::formats
