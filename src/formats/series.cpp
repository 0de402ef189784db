#include "formats/series.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <libical/ical.h>

#include "formats/text_forms.h"
#include "platform/failure.h"

namespace tidewell::formats {
namespace {

constexpr int64_t kDay = 86400;

std::optional<size_t> FirstLine(const Document& doc, size_t component, std::string_view name) {
  for (size_t i : doc.components()[component].properties) {
    if (doc.lines()[i].upper_name == name) return i;
  }
  return std::nullopt;
}

std::string UidOf(const Document& doc, size_t component) {
  std::optional<size_t> uid = FirstLine(doc, component, "UID");
  return uid ? std::string(Trim(doc.lines()[*uid].value)) : "";
}

// One date or date-time moved; anything else (a duration, a stray text) as
// it stands. A date moves by the whole days in `seconds`, toward zero, so
// that moving back undoes it.
std::string MovedTime(std::string_view text, int64_t seconds) {
  std::optional<IcalTime> time = ParseIcalValue(text, false);
  if (!time) return std::string(text);
  const int64_t by = time->form == TimeForm::kDate ? seconds / kDay * kDay : seconds;
  time->clock = ClockOf(SecondsOf(time->clock) + by);
  if (time->clock.year < 1 || time->clock.year > 9999) {
    throw Failure("The series cannot be moved: " + std::string(text) +
                  " would leave the years 1 to 9999.");
  }
  return FormatIcalValue(*time);
}

// A list of dates, date-times or periods ("start/end", "start/duration").
std::string MovedList(std::string_view value, int64_t seconds) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] != ',' && value[i] != '/') continue;
    out += MovedTime(value.substr(start, i - start), seconds);
    if (i < value.size()) out += value[i];
    start = i + 1;
  }
  return out;
}

std::string MovedRule(std::string_view rule, int64_t seconds) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i <= rule.size(); ++i) {
    if (i < rule.size() && rule[i] != ';') continue;
    std::string_view part = rule.substr(start, i - start);
    if (part.size() > 6 && EqualsIgnoringCase(part.substr(0, 6), "UNTIL=")) {
      out += std::string(part.substr(0, 6)) + MovedTime(part.substr(6), seconds);
    } else {
      out += part;
    }
    if (i < rule.size()) out += ';';
    start = i + 1;
  }
  return out;
}

// The start as libical reads it, in its zone where libical knows the zone.
icaltimetype StartOf(const ContentLine& line, const std::string& value) {
  icaltimetype start = icaltime_from_string(std::string(Trim(value)).c_str());
  if (const Param* tzid = line.FindParam("TZID")) {
    if (icaltimezone* zone = icaltimezone_get_builtin_timezone(tzid->value.c_str())) {
      icaltime_set_timezone(&start, zone);
    }
  }
  return start;
}

// Throws Failure when the rule `rule` of the line numbered `lineNumber`,
// counted from `start`, ends before it or yields no occurrence.
void CheckRule(const std::string& rule, size_t lineNumber, icaltimetype start) {
  const std::string where = "RRULE on line " + std::to_string(lineNumber);
  icalrecurrencetype recurrence = icalrecurrencetype_from_string(rule.c_str());
  // A rule libical cannot read is one it cannot judge either; its UNTIL, if
  // any, moved as text.
  if (recurrence.freq == ICAL_NO_RECURRENCE) return;
  if (!icaltime_is_null_time(recurrence.until)) {
    const bool before = recurrence.until.is_date || start.is_date
                            ? icaltime_compare_date_only(recurrence.until, start) < 0
                            : icaltime_compare(recurrence.until, start) < 0;
    if (before) {
      throw Failure("The series would end before it starts: the UNTIL of " + where +
                    " falls before the new start.");
    }
  }
  icalrecur_iterator* it = icalrecur_iterator_new(recurrence, start);
  const bool occurs = it != nullptr && !icaltime_is_null_time(icalrecur_iterator_next(it));
  if (it != nullptr) icalrecur_iterator_free(it);
  if (!occurs) {
    throw Failure("The series would have no occurrence: " + where +
                  " yields none from the new start.");
  }
}

}  // namespace

bool IsOverride(const Document& doc, size_t component) {
  return FirstLine(doc, component, "RECURRENCE-ID").has_value();
}

void MoveSeries(Document& doc, size_t master, size_t startLine, const std::string& newStart,
                int64_t seconds) {
  if (seconds == 0) return;
  const std::vector<Component>& components = doc.components();
  std::vector<std::pair<size_t, std::string>> moved;
  std::vector<size_t> rules;
  for (size_t i : components[master].properties) {
    const ContentLine& line = doc.lines()[i];
    if (line.upper_name == "RRULE") {
      rules.push_back(moved.size());
      moved.emplace_back(i, MovedRule(line.value, seconds));
    } else if (line.upper_name == "EXDATE" || line.upper_name == "RDATE") {
      moved.emplace_back(i, MovedList(line.value, seconds));
    }
  }
  const std::string uid = UidOf(doc, master);
  for (size_t c = 0; c < components.size(); ++c) {
    if (c == master || components[c].name != components[master].name || UidOf(doc, c) != uid) {
      continue;
    }
    for (size_t i : components[c].properties) {
      const ContentLine& line = doc.lines()[i];
      if (line.upper_name == "RECURRENCE-ID") moved.emplace_back(i, MovedList(line.value, seconds));
    }
  }

  const icaltimetype start = StartOf(doc.lines()[startLine], newStart);
  if (!icaltime_is_null_time(start)) {
    for (size_t r : rules)
      CheckRule(moved[r].second, doc.lines()[moved[r].first].line_number, start);
  }
  for (auto& [index, value] : moved) {
    if (value != doc.lines()[index].value)
      EncodeValue(doc.lines()[index], value, Dialect::kICalendar);
  }
}

}  // namespace tidewell::formats
