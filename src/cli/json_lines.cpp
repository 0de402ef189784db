#include "cli/json_lines.h"

#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

namespace tidewell::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Line(const Json& json) {
  return json.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

}  // namespace

std::string ChangeJson(const FieldChange& change) {
  const size_t tab = change.item_id.find('\t');
  const bool ids = tab != std::string::npos;
  return Line({{"type", "change"},
               {"folder", change.folder},
               {"store_id", ids ? change.item_id.substr(0, tab) : ""},
               {"entry_id", ids ? change.item_id.substr(tab + 1) : ""},
               {"path", TextOrNull(change.location)},
               {"name", change.item},
               {"field", change.field},
               {"old", change.old_value},
               {"new", change.new_value}});
}

std::string FolderJson(const std::string& name, const std::string& entryId,
                       const std::string& storeId) {
  Json json = {{"type", "folder"}, {"name", name}};
  if (!entryId.empty()) json["entry_id"] = entryId;
  if (!storeId.empty()) json["store_id"] = storeId;
  return Line(json);
}

std::string SummaryJson(const RunCounts& counts) {
  return Line({{"type", "summary"},
               {"text", TextOrNull(counts.text)},
               {"dry_run", counts.dry_run},
               {"items_changed", counts.items_changed},
               {"items_searched", counts.items_searched},
               {"folders_searched", counts.folders_searched}});
}

std::string StoreJson(const std::string& root, const std::string& namedBy) {
  return Line({{"type", "store"}, {"path", root}, {"named_by", namedBy}});
}

std::string ServerJson(const std::string& url, const std::string& config, const std::string& user,
                       const std::string& password) {
  return Line({{"type", "server"},
               {"url", url},
               {"config", config},
               {"user", TextOrNull(user)},
               {"password", password}});
}

std::string RunJson(const RunSummary& run) {
  return Line({{"type", "run"},
               {"id", run.id},
               {"kind", run.kind == RunKind::kUndo ? "undo" : "replace"},
               {"time", LocalTime(run.time)},
               {"description", run.description},
               {"undoes", TextOrNull(run.undoes)},
               {"fields", run.fields},
               {"items", run.items},
               {"undone", run.undone},
               {"state", RunState(run)}});
}

std::string LocalTime(const std::string& utc) {
  std::tm parts{};
  int consumed = 0;
  if (std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6) {
    return utc;
  }
  // What may follow the seconds: their fraction, then the zone, which must
  // be UTC's.
  size_t rest = static_cast<size_t>(consumed);
  if (rest < utc.size() && utc[rest] == '.') {
    ++rest;
    while (rest < utc.size() && utc[rest] >= '0' && utc[rest] <= '9') ++rest;
  }
  if (utc.substr(rest) != "Z") return utc;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  const std::time_t time = timegm(&parts);
  std::tm local{};
  if (time == -1 || localtime_r(&time, &local) == nullptr) return utc;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long minutes = local.tm_gmtoff / 60;
  const long shown = minutes < 0 ? -minutes : minutes;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', shown / 60,
                shown % 60);
  return std::string(text) + zone;
}

}  // namespace tidewell::cli
