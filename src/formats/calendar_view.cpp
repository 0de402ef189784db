#include "formats/calendar_view.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <utility>

#include "formats/series.h"
#include "platform/failure.h"

namespace tidewell::formats {
namespace {

enum class Type { kText, kDate, kNumber };

// The lines a view reads or writes, in the order of kLineNames, at their
// index in lines_.
enum Line : uint8_t {
  kSummary,
  kLocation,
  kDescription,
  kDtstart,
  kDtend,
  kDue,
  kCompleted,
  kActualWork,
  kTotalWork,
  kMileage,
  kBillingInformation,
  kCompanies,
  kDuration,
  kLastModified,
  kDtstamp,
  kSequence,
  kLineCount
};

constexpr std::array<std::string_view, kLineCount> kLineNames = {
    "SUMMARY",
    "LOCATION",
    "DESCRIPTION",
    "DTSTART",
    "DTEND",
    "DUE",
    "COMPLETED",
    "X-ACTUAL-WORK",
    "X-TOTAL-WORK",
    "X-MILEAGE",
    "X-BILLING-INFORMATION",
    "X-COMPANIES",
    "DURATION",
    "LAST-MODIFIED",
    "DTSTAMP",
    "SEQUENCE",
};

struct Mapping {
  std::string_view property;
  Line line;
  Type type;
};

constexpr std::array<Mapping, 13> kMappings = {{
    {"Subject", kSummary, Type::kText},
    {"Location", kLocation, Type::kText},
    {"Body", kDescription, Type::kText},
    {"Start", kDtstart, Type::kDate},
    {"End", kDtend, Type::kDate},
    {"StartDate", kDtstart, Type::kDate},
    {"DueDate", kDue, Type::kDate},
    {"DateCompleted", kCompleted, Type::kDate},
    {"ActualWork", kActualWork, Type::kNumber},
    {"TotalWork", kTotalWork, Type::kNumber},
    {"Mileage", kMileage, Type::kText},
    {"BillingInformation", kBillingInformation, Type::kText},
    {"Companies", kCompanies, Type::kText},
}};

const Mapping* MappingOf(std::string_view property) {
  for (const Mapping& m : kMappings) {
    if (property == m.property) return &m;
  }
  return nullptr;
}

bool IsItemComponent(const std::string& name) {
  return name == "VEVENT" || name == "VTODO" || name == "VJOURNAL";
}

}  // namespace

CalendarView::CalendarView(Document& document, size_t ordinal) : doc_(document) {
  const std::vector<Component>& components = doc_.components();
  // Components come parent first, so one inside an item component is known
  // to be so by the time it is reached.
  std::vector<bool> inside(components.size(), false);
  std::optional<size_t> mine;
  size_t seen = 0;
  for (size_t c = 0; c < components.size() && !mine; ++c) {
    const bool item = IsItemComponent(components[c].name);
    if (item && !inside[c] && ++seen == ordinal) mine = c;
    for (size_t child : components[c].children) inside[child] = inside[c] || item;
  }
  if (!mine && seen == 0) throw Failure("it holds no event, task or journal entry.");
  if (!mine) throw Failure("it holds no component " + std::to_string(ordinal) + ".");
  const size_t master = *mine;
  master_ = master;
  static_assert(kLineCount == std::tuple_size_v<decltype(lines_)>);
  for (size_t i : components[master].properties) {
    const std::string_view name = doc_.lines()[i].upper_name;
    for (size_t l = 0; l < kLineNames.size(); ++l) {
      if (name == kLineNames[l]) {
        if (!lines_[l]) lines_[l] = i;
        break;
      }
    }
  }
  const auto text = [&](size_t line) {
    const std::string_view name = doc_.lines()[line].upper_name;
    return name == "SUMMARY" || name == "LOCATION" || name == "DESCRIPTION";
  };
  std::vector<size_t> pending = components[master].children;
  std::vector<size_t> lines;
  for (size_t i : components[master].properties) {
    if (text(i) && i != lines_[kSummary] && i != lines_[kLocation] && i != lines_[kDescription]) {
      lines.push_back(i);
    }
  }
  while (!pending.empty()) {
    const size_t c = pending.back();
    pending.pop_back();
    const bool alarm = components[c].name == "VALARM";
    for (size_t i : components[c].properties) {
      if (!text(i)) continue;
      lines.push_back(i);
      if (alarm) in_alarms_.push_back(i);
    }
    pending.insert(pending.end(), components[c].children.begin(), components[c].children.end());
  }
  std::sort(lines.begin(), lines.end());
  std::sort(in_alarms_.begin(), in_alarms_.end());
  unsearched_ = std::move(lines);
}

bool CalendarView::InAlarm(size_t line) const {
  return std::binary_search(in_alarms_.begin(), in_alarms_.end(), line);
}

std::optional<size_t> CalendarView::LineOf(size_t line) const { return lines_[line]; }

IcalTime CalendarView::TimeOf(size_t index) const {
  const ContentLine& line = doc_.lines()[index];
  std::string value = DecodedValue(line);
  std::optional<IcalTime> time = ParseIcalValue(value, line.FindParam("TZID") != nullptr);
  if (!time) {
    throw Failure(line.name + " on line " + std::to_string(line.line_number) + " holds no date: '" +
                  Excerpt(value) + "'.");
  }
  return *time;
}

bool CalendarView::Knows(const std::string& property) const {
  return MappingOf(property) != nullptr;
}

bool CalendarView::Has(const std::string& property) const {
  const Mapping* m = MappingOf(property);
  if (m == nullptr) return false;
  if (property == "End" && !LineOf(kDtend)) return LineOf(kDuration) && LineOf(kDtstart);
  return LineOf(m->line).has_value();
}

std::string CalendarView::Get(const std::string& property) const {
  const Mapping* m = MappingOf(property);
  if (m == nullptr || !Has(property)) return "";
  if (property == "End" && !LineOf(kDtend)) {
    IcalTime start = TimeOf(*LineOf(kDtstart));
    const ContentLine& duration = doc_.lines()[*LineOf(kDuration)];
    std::optional<int64_t> seconds = ParseDuration(DecodedValue(duration));
    if (!seconds) {
      throw Failure("DURATION on line " + std::to_string(duration.line_number) +
                    " is not a duration: '" + Excerpt(DecodedValue(duration)) + "'.");
    }
    start.clock = ClockOf(SecondsOf(start.clock) + *seconds);
    return DisplayTime(start);
  }
  size_t index = *LineOf(m->line);
  const ContentLine& line = doc_.lines()[index];
  switch (m->type) {
    case Type::kText:
      return UnescapeText(DecodedValue(line), Dialect::kICalendar);
    case Type::kDate:
      return DisplayTime(TimeOf(index));
    case Type::kNumber: {
      std::string value = DecodedValue(line);
      std::optional<int32_t> n = ParseWholeNumber(value);
      return n ? std::to_string(*n) : UnescapeText(value, Dialect::kICalendar);
    }
  }
  return "";
}

void CalendarView::Set(const std::string& property, const std::string& text) {
  const Mapping& m = *MappingOf(property);
  if (property == "End" && !LineOf(kDtend)) {
    IcalTime start = TimeOf(*LineOf(kDtstart));
    IcalTime end = ParseDisplayedTime(text, start.form);
    int64_t seconds = SecondsOf(end.clock) - SecondsOf(start.clock);
    EncodeValue(doc_.lines()[*LineOf(kDuration)],
                FormatDuration(seconds, start.form == TimeForm::kDate), Dialect::kICalendar);
    return;
  }
  size_t index = *LineOf(m.line);
  ContentLine& line = doc_.lines()[index];
  switch (m.type) {
    case Type::kText: {
      std::string decoded;
      std::string escaped =
          EscapeLike(text, DecodedValueView(line, decoded), ValueKind::kText, Dialect::kICalendar);
      std::string().swap(decoded);
      EncodeValue(line, std::move(escaped), Dialect::kICalendar);
      break;
    }
    case Type::kDate: {
      const IcalTime old = TimeOf(index);
      IcalTime time = ParseDisplayedTime(text, old.form);
      // An override's own start moves that occurrence only; its RECURRENCE-ID
      // still names the one it replaces.
      if (m.line == kDtstart && !IsOverride(doc_, master_)) {
        MoveSeries(doc_, master_, index, FormatIcalValue(time),
                   SecondsOf(time.clock) - SecondsOf(old.clock));
      }
      EncodeValue(line, FormatIcalValue(time), Dialect::kICalendar);
      break;
    }
    case Type::kNumber:
      EncodeValue(line, std::to_string(WholeNumberOrThrow(text)), Dialect::kICalendar);
      break;
  }
}

std::optional<size_t> CalendarView::LineOfProperty(const std::string& property) const {
  const Mapping* m = MappingOf(property);
  if (m == nullptr) return std::nullopt;
  if (property == "End" && !LineOf(kDtend)) return LineOf(kDuration);
  return LineOf(m->line);
}

void CalendarView::Touch(std::time_t now) {
  // A new time is a new revision for those who were sent the item.
  if (std::optional<size_t> sequence = LineOf(kSequence)) {
    bool moved = false;
    for (Line name : {kDtstart, kDtend, kDue, kDuration}) {
      if (std::optional<size_t> index = LineOf(name)) {
        const ContentLine& line = doc_.lines()[*index];
        moved = moved || !SerializesAsRead(line, doc_.bytes());
      }
    }
    ContentLine& line = doc_.lines()[*sequence];
    std::optional<int32_t> n;
    if (moved) {
      try {
        n = ParseWholeNumber(DecodedValue(line));
      } catch (const Failure&) {
        // A SEQUENCE that reads as no text counts nothing; the save goes on.
      }
    }
    if (n && *n < INT32_MAX) EncodeValue(line, std::to_string(*n + 1), Dialect::kICalendar);
  }
  for (Line name : {kLastModified, kDtstamp}) {
    if (std::optional<size_t> index = LineOf(name)) {
      EncodeValue(doc_.lines()[*index], UtcStamp(now, false), Dialect::kICalendar);
    }
  }
}

}  // namespace tidewell::formats
