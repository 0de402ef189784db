#include "platform/vdir/calendar_view.h"

#include <array>

#include "platform/failure.h"

namespace tidewell::vdir {
namespace {

enum class Type { kText, kDate, kNumber };

struct Mapping {
  const char* property;
  const char* line;
  Type type;
};

constexpr std::array<Mapping, 13> kMappings = {{
    {"Subject", "SUMMARY", Type::kText},
    {"Location", "LOCATION", Type::kText},
    {"Body", "DESCRIPTION", Type::kText},
    {"Start", "DTSTART", Type::kDate},
    {"End", "DTEND", Type::kDate},
    {"StartDate", "DTSTART", Type::kDate},
    {"DueDate", "DUE", Type::kDate},
    {"DateCompleted", "COMPLETED", Type::kDate},
    {"ActualWork", "X-ACTUAL-WORK", Type::kNumber},
    {"TotalWork", "X-TOTAL-WORK", Type::kNumber},
    {"Mileage", "X-MILEAGE", Type::kText},
    {"BillingInformation", "X-BILLING-INFORMATION", Type::kText},
    {"Companies", "X-COMPANIES", Type::kText},
}};

const Mapping* MappingOf(const std::string& property) {
  for (const Mapping& m : kMappings) {
    if (property == m.property) return &m;
  }
  return nullptr;
}

bool IsItemComponent(const std::string& name) {
  return name == "VEVENT" || name == "VTODO" || name == "VJOURNAL";
}

}  // namespace

CalendarView::CalendarView(Document& document) : doc_(document) {
  const std::vector<Component>& components = doc_.components();
  std::optional<size_t> first;
  for (size_t c = 0; c < components.size() && !first; ++c) {
    if (IsItemComponent(components[c].name)) first = c;
  }
  if (!first) throw Failure("it holds no event, task or journal entry.");
  size_t master = *first;
  for (size_t c = *first; c < components.size(); ++c) {
    if (components[c].name != components[*first].name) continue;
    bool isOverride = false;
    for (size_t i : components[c].properties) {
      isOverride = isOverride || doc_.lines()[i].upper_name == "RECURRENCE-ID";
    }
    if (!isOverride) {
      master = c;
      break;
    }
  }
  for (size_t i : components[master].properties) lines_.try_emplace(doc_.lines()[i].upper_name, i);
}

std::optional<size_t> CalendarView::LineOf(const std::string& upperName) const {
  auto it = lines_.find(upperName);
  if (it == lines_.end()) return std::nullopt;
  return it->second;
}

IcalTime CalendarView::TimeOf(size_t index) const {
  const ContentLine& line = doc_.lines()[index];
  std::string value = DecodedValue(line);
  std::optional<IcalTime> time = ParseIcalValue(value, line.FindParam("TZID") != nullptr);
  if (!time) {
    throw Failure(line.name + " on line " + std::to_string(line.line_number) + " holds no date: '" +
                  value + "'.");
  }
  return *time;
}

bool CalendarView::Knows(const std::string& property) const {
  return MappingOf(property) != nullptr;
}

bool CalendarView::Has(const std::string& property) const {
  const Mapping* m = MappingOf(property);
  if (m == nullptr) return false;
  if (property == "End" && !LineOf("DTEND")) return LineOf("DURATION") && LineOf("DTSTART");
  return LineOf(m->line).has_value();
}

std::string CalendarView::Get(const std::string& property) const {
  const Mapping* m = MappingOf(property);
  if (m == nullptr || !Has(property)) return "";
  if (property == "End" && !LineOf("DTEND")) {
    IcalTime start = TimeOf(*LineOf("DTSTART"));
    const ContentLine& duration = doc_.lines()[*LineOf("DURATION")];
    std::optional<int64_t> seconds = ParseDuration(DecodedValue(duration));
    if (!seconds) {
      throw Failure("DURATION on line " + std::to_string(duration.line_number) +
                    " is not a duration: '" + DecodedValue(duration) + "'.");
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
  if (property == "End" && !LineOf("DTEND")) {
    IcalTime start = TimeOf(*LineOf("DTSTART"));
    IcalTime end = ParseDisplayedTime(text, start.form);
    int64_t seconds = SecondsOf(end.clock) - SecondsOf(start.clock);
    EncodeValue(doc_.lines()[*LineOf("DURATION")],
                FormatDuration(seconds, start.form == TimeForm::kDate), Dialect::kICalendar);
    return;
  }
  size_t index = *LineOf(m.line);
  ContentLine& line = doc_.lines()[index];
  switch (m.type) {
    case Type::kText:
      EncodeValue(line, EscapeLike(text, DecodedValue(line), ValueKind::kText, Dialect::kICalendar),
                  Dialect::kICalendar);
      break;
    case Type::kDate: {
      IcalTime time = ParseDisplayedTime(text, TimeOf(index).form);
      EncodeValue(line, FormatIcalValue(time), Dialect::kICalendar);
      break;
    }
    case Type::kNumber:
      EncodeValue(line, std::to_string(WholeNumberOrThrow(text)), Dialect::kICalendar);
      break;
  }
}

void CalendarView::Touch(std::time_t now) {
  for (const char* name : {"LAST-MODIFIED", "DTSTAMP"}) {
    if (std::optional<size_t> index = LineOf(name)) {
      EncodeValue(doc_.lines()[*index], UtcStamp(now, false), Dialect::kICalendar);
    }
  }
}

}  // namespace tidewell::vdir
