#include "formats/text_forms.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include <langinfo.h>

#include "platform/failure.h"

namespace tidewell::formats {
namespace {

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

bool IsRealClock(const WallClock& c) {
  return c.year >= 1 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
         c.day <= DaysInMonth(c.year, c.month) && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 &&
         c.minute <= 59 && c.second >= 0 && c.second <= 60;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

bool Digits(std::string_view text, size_t pos, size_t count, int& out) {
  out = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

bool IsCLocale() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  if (name == nullptr) return true;
  std::string n = name;
  return n == "C" || n == "POSIX" || n == "C.UTF-8" || n == "C.utf8";
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size()) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

std::string DateFormat() {
  if (IsCLocale()) return "%Y-%m-%d";
  std::string f = nl_langinfo(D_FMT);
  if (f.empty()) return "%Y-%m-%d";
  // Two-digit years would lose the century on the way back.
  return ReplaceAll(ReplaceAll(f, "%D", "%m/%d/%Y"), "%y", "%Y");
}

std::string TimeFormat() {
  if (IsCLocale()) return "%H:%M:%S";
  std::string f = nl_langinfo(T_FMT);
  return f.empty() ? "%H:%M:%S" : f;
}

struct tm TmOf(const WallClock& c) {
  struct tm t {};
  t.tm_year = c.year - 1900;
  t.tm_mon = c.month - 1;
  t.tm_mday = c.day;
  t.tm_hour = c.hour;
  t.tm_min = c.minute;
  t.tm_sec = c.second;
  int64_t days = DaysFromCivil(c.year, c.month, c.day);
  t.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  t.tm_yday = static_cast<int>(days - DaysFromCivil(c.year, 1, 1));
  t.tm_isdst = -1;
  return t;
}

WallClock ClockOfTm(const struct tm& t) {
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

[[noreturn]] void NotADate(const std::string& text) {
  throw Failure("Type mismatch: '" + Excerpt(text) + "' is not a date.");
}

}  // namespace

std::optional<IcalTime> ParseIcalValue(std::string_view value, bool hasTzid) {
  std::string_view v = TrimBlanks(value);
  IcalTime t;
  WallClock& c = t.clock;
  if (!Digits(v, 0, 4, c.year) || !Digits(v, 4, 2, c.month) || !Digits(v, 6, 2, c.day)) {
    return std::nullopt;
  }
  if (v.size() == 8) {
    t.form = TimeForm::kDate;
  } else {
    bool utc = v.size() == 16 && (v[15] == 'Z' || v[15] == 'z');
    if ((v.size() != 15 && !utc) || (v[8] != 'T' && v[8] != 't') || !Digits(v, 9, 2, c.hour) ||
        !Digits(v, 11, 2, c.minute) || !Digits(v, 13, 2, c.second)) {
      return std::nullopt;
    }
    t.form = utc ? TimeForm::kUtc : hasTzid ? TimeForm::kZoned : TimeForm::kFloating;
  }
  if (!IsRealClock(c)) return std::nullopt;
  return t;
}

std::string FormatIcalValue(const IcalTime& time) {
  const WallClock& c = time.clock;
  char buf[32];
  if (time.form == TimeForm::kDate) {
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d%s", c.year, c.month, c.day, c.hour,
                  c.minute, c.second, time.form == TimeForm::kUtc ? "Z" : "");
  }
  return buf;
}

std::string DisplayTime(const IcalTime& time) {
  WallClock shown = time.clock;
  if (time.form == TimeForm::kUtc) {
    std::time_t when = static_cast<std::time_t>(SecondsOf(time.clock));
    struct tm local {};
    if (localtime_r(&when, &local) != nullptr) shown = ClockOfTm(local);
  }
  bool dateOnly =
      time.form == TimeForm::kDate || (shown.hour == 0 && shown.minute == 0 && shown.second == 0);
  std::string format = dateOnly ? DateFormat() : DateFormat() + " " + TimeFormat();
  struct tm t = TmOf(shown);
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, format.c_str(), &t);
  return std::string(buf, n);
}

IcalTime ParseDisplayedTime(const std::string& text, TimeForm form) {
  std::string trimmed(TrimBlanks(text));
  std::optional<WallClock> clock;
  for (const std::string& format : {DateFormat() + " " + TimeFormat(), DateFormat()}) {
    struct tm t {};
    t.tm_isdst = -1;
    const char* end = strptime(trimmed.c_str(), format.c_str(), &t);
    if (end != nullptr && *end == '\0') {
      clock = ClockOfTm(t);
      break;
    }
  }
  if (trimmed.empty() || !clock || !IsRealClock(*clock)) NotADate(text);

  IcalTime result{*clock, form};
  if (form == TimeForm::kDate) {
    if (clock->hour != 0 || clock->minute != 0 || clock->second != 0) NotADate(text);
  } else if (form == TimeForm::kUtc) {
    struct tm local = TmOf(*clock);
    std::time_t when = mktime(&local);
    struct tm utc {};
    if (when == static_cast<std::time_t>(-1) || gmtime_r(&when, &utc) == nullptr) NotADate(text);
    result.clock = ClockOfTm(utc);
  }
  return result;
}

int64_t SecondsOf(const WallClock& c) {
  return DaysFromCivil(c.year, c.month, c.day) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

WallClock ClockOf(int64_t seconds) {
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - days * 86400;
  WallClock c;
  CivilFromDays(days, c.year, c.month, c.day);
  c.hour = static_cast<int>(rest / 3600);
  c.minute = static_cast<int>(rest % 3600 / 60);
  c.second = static_cast<int>(rest % 60);
  return c;
}

constexpr int64_t kLongestDuration = int64_t{10000} * 366 * 86400;

std::optional<int64_t> ParseDuration(std::string_view text) {
  std::string_view v = TrimBlanks(text);
  size_t i = 0;
  int sign = 1;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) sign = v[i++] == '-' ? -1 : 1;
  if (i >= v.size() || (v[i] != 'P' && v[i] != 'p')) return std::nullopt;
  ++i;
  int64_t total = 0;
  bool inTime = false;
  bool any = false;
  bool anyAfterT = false;
  while (i < v.size()) {
    char c = v[i];
    if (c == 'T' || c == 't') {
      if (inTime) return std::nullopt;
      inTime = true;
      ++i;
      continue;
    }
    int64_t n = 0;
    size_t digits = 0;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9' && digits < 12) {
      n = n * 10 + (v[i++] - '0');
      ++digits;
    }
    if (digits == 0 || i >= v.size()) return std::nullopt;
    char unit = static_cast<char>(v[i++] & ~0x20);
    int64_t scale = 0;
    if (!inTime && unit == 'W') scale = 7 * 86400;
    if (!inTime && unit == 'D') scale = 86400;
    if (inTime && unit == 'H') scale = 3600;
    if (inTime && unit == 'M') scale = 60;
    if (inTime && unit == 'S') scale = 1;
    if (scale == 0) return std::nullopt;
    total += n * scale;
    // Longer than the calendar's ten thousand years is no duration of an
    // item, and adding up more such terms would overflow.
    if (total > kLongestDuration) return std::nullopt;
    any = true;
    anyAfterT = anyAfterT || inTime;
  }
  if (!any || (inTime && !anyAfterT)) return std::nullopt;
  return sign * total;
}

std::string FormatDuration(int64_t seconds, bool days) {
  std::string out = seconds < 0 ? "-P" : "P";
  int64_t s = seconds < 0 ? -seconds : seconds;
  int64_t d = s / 86400;
  s %= 86400;
  if (d != 0 || (days && s == 0)) out += std::to_string(d) + "D";
  if (s != 0) {
    out += "T";
    if (s / 3600 != 0) out += std::to_string(s / 3600) + "H";
    if (s % 3600 / 60 != 0) out += std::to_string(s % 3600 / 60) + "M";
    if (s % 60 != 0) out += std::to_string(s % 60) + "S";
  } else if (d == 0 && !days) {
    out += "T0S";
  }
  return out;
}

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  std::string_view v = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  if (i == v.size()) return std::nullopt;
  int64_t n = 0;
  for (; i < v.size(); ++i) {
    if (v[i] < '0' || v[i] > '9') return std::nullopt;
    n = n * 10 + (v[i] - '0');
    if (n > 2147483648LL) return std::nullopt;
  }
  if (negative) n = -n;
  if (n > INT32_MAX || n < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(n);
}

int32_t WholeNumberOrThrow(const std::string& text) {
  std::optional<int32_t> n = ParseWholeNumber(text);
  if (!n) throw Failure("Type mismatch: '" + Excerpt(text) + "' is not a whole number.");
  return *n;
}

std::string UtcStamp(std::time_t when, bool extended) {
  struct tm utc {};
  gmtime_r(&when, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, extended ? "%Y-%m-%dT%H:%M:%SZ" : "%Y%m%dT%H%M%SZ", &utc);
  return buf;
}

}  // namespace tidewell::formats
