#include "app/run_index.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/failure.h"

namespace tidewell {

const RunSummary* RunList::Find(const std::string& id) const {
  for (const RunSummary& run : runs) {
    if (run.id == id) return &run;
  }
  return nullptr;
}

const RunSummary* RunList::NewestToUndo() const {
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (run->kind == RunKind::kReplace && run->fields > 0 && !run->undone) return &*run;
  }
  return nullptr;
}

RunSummary Summarize(const JournalRun& run, const std::filesystem::path& file) {
  RunSummary summary;
  summary.id = run.id;
  summary.kind = run.kind;
  summary.time = run.time;
  summary.description = run.Description();
  summary.undoes = run.undoes;
  summary.fields = run.CompleteEntries();
  summary.items = run.ChangedItems();
  summary.incomplete = static_cast<size_t>(
      std::count_if(run.entries.begin(), run.entries.end(),
                    [](const JournalEntry& e) { return !e.complete && !e.cut_off; }));
  summary.file = file;
  summary.start = run.start;
  summary.end = run.end;
  summary.lines = run.last_line;
  summary.unreadable = run.unreadable;
  summary.finished = run.finished;
  return summary;
}

std::string RunState(const RunSummary& run) {
  std::string state;
  const auto add = [&state](const std::string& words) {
    state += (state.empty() ? "" : ", ") + words;
  };
  if (run.incomplete > 0) add(std::to_string(run.incomplete) + " incomplete");
  if (run.partly_undone) {
    add("partly undone (" + std::to_string(run.restored) + " of " + std::to_string(run.fields) +
        " fields)");
  }
  if (run.unreadable > 0)
    add("damaged (" + std::to_string(run.unreadable) + " records unreadable)");
  if (run.undone) add("undone");
  return state;
}

namespace {

// A run is undone when an undo of it that was not itself undone went through
// every item; partly undone when such undos exist but none went through. An
// undo's own state depends only on later undos, so the newest go first.
void MarkUndone(RunList& list) {
  std::map<std::string, std::vector<size_t>> undos_of;
  for (size_t i = 0; i < list.runs.size(); ++i) {
    const RunSummary& run = list.runs[i];
    if (run.kind == RunKind::kUndo && !run.undoes.empty()) undos_of[run.undoes].push_back(i);
  }
  for (size_t i = list.runs.size(); i-- > 0;) {
    RunSummary& run = list.runs[i];
    run.undone = run.partly_undone = false;
    run.restored = 0;
    auto undos = undos_of.find(run.id);
    if (undos == undos_of.end()) continue;
    for (const size_t at : undos->second) {
      const RunSummary& undo = list.runs[at];
      if (at <= i || undo.undone) continue;
      if (undo.finished) run.undone = true;
      run.restored += undo.fields;
    }
    run.partly_undone = !run.undone && run.restored > 0;
    run.restored = std::min(run.restored, run.fields);
  }
}

}  // namespace

namespace {

namespace fs = std::filesystem;

constexpr const char* kCurrent = "activity.jsonl";
constexpr const char* kIndex = "activity.index";
constexpr std::string_view kSegmentStart = "activity-";
constexpr std::string_view kErrorsStart = "errors-";
constexpr std::string_view kSegmentEnd = ".jsonl";

const char* KindName(RunKind kind) { return kind == RunKind::kUndo ? "undo" : "replace"; }

std::string IndexLine(const RunSummary& run, uint64_t covered) {
  nlohmann::ordered_json line;
  line["id"] = run.id;
  line["kind"] = KindName(run.kind);
  line["time"] = run.time;
  line["description"] = run.description;
  line["undoes"] = run.undoes;
  line["fields"] = run.fields;
  line["items"] = run.items;
  line["incomplete"] = run.incomplete;
  line["file"] = run.file.filename().string();
  line["start"] = run.start;
  line["end"] = run.end;
  line["lines"] = run.lines;
  line["unreadable"] = run.unreadable;
  line["finished"] = run.finished;
  line["covered"] = covered;
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

std::optional<std::pair<RunSummary, uint64_t>> ParseIndexLine(const std::string& text,
                                                              const fs::path& folder) {
  const auto line = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!line.is_object()) return std::nullopt;
  try {
    RunSummary run;
    run.id = line.at("id").get<std::string>();
    run.kind = line.at("kind").get<std::string>() == "undo" ? RunKind::kUndo : RunKind::kReplace;
    run.time = line.at("time").get<std::string>();
    run.description = line.at("description").get<std::string>();
    run.undoes = line.at("undoes").get<std::string>();
    run.fields = line.at("fields").get<size_t>();
    run.items = line.at("items").get<size_t>();
    run.incomplete = line.at("incomplete").get<size_t>();
    const std::string file = line.at("file").get<std::string>();
    if (file.find('/') != std::string::npos) return std::nullopt;
    run.file = folder / file;
    run.start = line.at("start").get<uint64_t>();
    run.end = line.at("end").get<uint64_t>();
    // Index lines written before runs were counted have none of these.
    run.lines = line.value("lines", uint64_t{0});
    run.unreadable = line.value("unreadable", size_t{0});
    run.finished = line.value("finished", true);
    return std::pair{std::move(run), line.at("covered").get<uint64_t>()};
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

uint64_t SizeOf(const fs::path& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  return error ? 0 : static_cast<uint64_t>(size);
}

// The rotated segments in the folder, oldest first (their names sort by the
// id of their first run).
std::vector<fs::path> Segments(const fs::path& folder) {
  std::vector<fs::path> segments;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.starts_with(kSegmentStart) && name.ends_with(kSegmentEnd)) {
      segments.push_back(entry->path());
    }
  }
  std::sort(segments.begin(), segments.end());
  return segments;
}

fs::path ErrorsOf(const fs::path& segment) {
  const std::string name = segment.filename().string();
  return segment.parent_path() / (std::string(kErrorsStart) + name.substr(kSegmentStart.size()));
}

// Errors files whose segment is gone, as an older removal killed between the
// two left them. A rotation renames the segment first, so every errors file
// it makes has its segment.
void RemoveOrphanErrors(const fs::path& folder) {
  std::vector<fs::path> orphans;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.starts_with(kErrorsStart) && name.ends_with(kSegmentEnd) &&
        !fs::exists(folder / (std::string(kSegmentStart) + name.substr(kErrorsStart.size())))) {
      orphans.push_back(entry->path());
    }
  }
  for (const fs::path& orphan : orphans) fs::remove(orphan, error);
}

void AddRuns(RunList& list, const JournalContents& journal, const fs::path& file) {
  for (const JournalRun& run : journal.runs) list.runs.push_back(Summarize(run, file));
  list.malformed_lines += journal.malformed_lines;
  list.torn_lines += journal.torn_lines;
  list.stray_entries += journal.stray_entries;
}

RunList Rebuild(const fs::path& folder) {
  RunList list;
  list.rebuilt = true;
  for (const fs::path& segment : Segments(folder)) {
    AddRuns(list, ReadJournalFile(segment, 0, 0, "", /*values=*/false), segment);
  }
  AddRuns(list, ReadJournalFile(folder / kCurrent, 0, 0, "", /*values=*/false), folder / kCurrent);
  return list;
}

// A rebuild reads only what is left; the index it replaces still knows how
// many lines each run wrote, so a run cut short stays damaged.
RunList KeepingCounts(RunList rebuilt, const RunList& indexed) {
  std::map<std::string, uint64_t> lines;
  for (const RunSummary& run : indexed.runs) lines[run.id] = run.lines;
  for (RunSummary& run : rebuilt.runs) {
    auto known = lines.find(run.id);
    if (known == lines.end() || known->second <= run.lines) continue;
    run.unreadable += known->second - run.lines;
    run.lines = known->second;
  }
  return rebuilt;
}

// When a file was last written, as a number; 0 when it cannot be told.
int64_t WrittenAt(const fs::path& path) {
  std::error_code error;
  const auto time = fs::last_write_time(path, error);
  return error ? 0 : static_cast<int64_t>(time.time_since_epoch().count());
}

// Replaces the index whole: a kill leaves the old one or the new one.
void WriteIndex(const fs::path& folder, const RunList& list, uint64_t covered) {
  // A segment is never written once rotated: a later write is damage (bytes
  // overwritten in place), which only reading it again can measure. A
  // segment not there yet is activity.jsonl, about to be renamed to it.
  nlohmann::ordered_json written = nlohmann::ordered_json::object();
  for (const RunSummary& run : list.runs) {
    if (run.file.filename() == kCurrent) continue;
    const int64_t at = WrittenAt(fs::exists(run.file) ? run.file : folder / kCurrent);
    written[run.file.filename().string()] = at;
  }
  const fs::path index = folder / kIndex;
  const fs::path temporary = folder / (std::string(kIndex) + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (const RunSummary& run : list.runs) out << IndexLine(run, covered);
    // The damage met in the logs, to be told by every reader of the index,
    // and how much of activity.jsonl it covers even when it names no run.
    out << "{\"covered\":" << covered << ",\"malformed\":" << list.malformed_lines
        << ",\"torn\":" << list.torn_lines << ",\"stray\":" << list.stray_entries
        << ",\"written\":" << written.dump() << "}\n";
    out.flush();
    if (!out) throw Failure("Cannot write '" + temporary.string() + "'.");
  }
  std::error_code error;
  fs::rename(temporary, index, error);
  if (error) throw Failure("Cannot write '" + index.string() + "': " + error.message());
}

}  // namespace

static RunList ListRunsUnmarked(const Logbook& logbook) {
  const fs::path& folder = logbook.Folder();
  const fs::path current = folder / kCurrent;
  std::ifstream in(folder / kIndex, std::ios::binary);
  if (!in) return Rebuild(folder);

  RunList list;
  uint64_t covered = 0;
  bool agrees = true;
  std::set<fs::path> named;
  std::string text;
  while (agrees && std::getline(in, text)) {
    const bool last = in.peek() == std::char_traits<char>::eof();
    if (auto parsed = ParseIndexLine(text, folder)) {
      named.insert(parsed->first.file);
      covered = parsed->second;
      list.runs.push_back(std::move(parsed->first));
    } else if (auto only = nlohmann::json::parse(text, nullptr, false);
               only.is_object() && only.contains("covered") && only["covered"].is_number()) {
      covered = only["covered"].get<uint64_t>();
      list.malformed_lines = only.value("malformed", size_t{0});
      list.torn_lines = only.value("torn", size_t{0});
      list.stray_entries = only.value("stray", size_t{0});
      if (auto at = only.find("written"); at != only.end() && at->is_object()) {
        for (const auto& [name, time] : at->items()) {
          if (name.find('/') == std::string::npos && time.is_number_integer() &&
              time.get<int64_t>() != 0 && fs::exists(folder / name) &&
              WrittenAt(folder / name) != time.get<int64_t>()) {
            agrees = false;
          }
        }
      }
    } else if (!last) {
      agrees = false;  // a torn last line is a run's line the kill cut: read past it below
    }
  }
  const uint64_t size = SizeOf(current);
  const std::vector<fs::path> segments = Segments(folder);
  agrees = agrees && size >= covered;
  for (const fs::path& segment : segments) agrees = agrees && named.contains(segment);
  for (const RunSummary& run : list.runs) {
    // A segment shorter than its runs' lines was cut: read what is left.
    agrees = agrees && (run.file == current
                            ? run.end <= size
                            : std::binary_search(segments.begin(), segments.end(), run.file) &&
                                  run.end <= SizeOf(run.file));
  }
  if (!agrees) return KeepingCounts(Rebuild(folder), list);
  if (size > covered) {
    list.caught_up = true;
    AddRuns(list, ReadJournalFile(current, covered, 0, "", /*values=*/false), current);
  }
  return list;
}

RunList ListRuns(const Logbook& logbook) {
  RunList list = ListRunsUnmarked(logbook);
  MarkUndone(list);
  return list;
}

RunList MaintainJournal(const Logbook& logbook, const Retention& retention) {
  const fs::path& folder = logbook.Folder();
  const fs::path current = folder / kCurrent;
  RunList list = ListRuns(logbook);
  uint64_t size = SizeOf(current);
  if (list.rebuilt || list.caught_up || !fs::exists(folder / kIndex)) {
    WriteIndex(folder, list, size);
  }

  // Rotation: the current file's runs move to a segment named for the first.
  const auto first_current = std::find_if(list.runs.begin(), list.runs.end(),
                                          [&](const RunSummary& r) { return r.file == current; });
  if (size > retention.segment_bytes && first_current != list.runs.end()) {
    const std::string suffix = first_current->id + std::string(kSegmentEnd);
    const fs::path segment = folder / (std::string(kSegmentStart) + suffix);
    for (RunSummary& run : list.runs) {
      if (run.file == current) run.file = segment;
    }
    // Index first: a kill before the rename leaves an index naming a segment
    // that is not there, which is rebuilt.
    WriteIndex(folder, list, 0);
    std::error_code error;
    fs::rename(current, segment, error);
    if (error) throw Failure("Cannot rotate '" + current.string() + "': " + error.message());
    fs::rename(folder / "errors.jsonl", folder / (std::string(kErrorsStart) + suffix), error);
    size = 0;
  }

  // Retention: whole segments whose every run is past both limits.
  char cutoff[32];
  const std::time_t limit =
      std::time(nullptr) - static_cast<std::time_t>(retention.keep_days) * 86400;
  std::tm parts{};
  gmtime_r(&limit, &parts);
  std::strftime(cutoff, sizeof cutoff, "%Y-%m-%dT%H:%M:%S", &parts);
  std::set<fs::path> kept;
  for (size_t i = 0; i < list.runs.size(); ++i) {
    const RunSummary& run = list.runs[i];
    if (run.file == current || i + retention.keep_runs >= list.runs.size() ||
        (retention.keep_days > 0 && run.time >= cutoff)) {
      kept.insert(run.file);
    }
  }
  std::vector<fs::path> dropped;
  for (const fs::path& segment : Segments(folder)) {
    if (!kept.contains(segment)) dropped.push_back(segment);
  }
  if (!dropped.empty()) {
    std::erase_if(list.runs, [&](const RunSummary& run) { return !kept.contains(run.file); });
    // Index first: a segment it does not name is read again, never lost.
    WriteIndex(folder, list, size);
    for (const fs::path& segment : dropped) {
      // The errors file before its segment: a kill between the two leaves
      // the segment, which the next run reads again and drops, rather than an
      // errors file nothing names.
      std::error_code error;
      fs::remove(ErrorsOf(segment), error);
      fs::remove(segment, error);
    }
  }
  RemoveOrphanErrors(folder);
  return list;
}

void IndexRun(const Logbook& logbook, const std::string& id, uint64_t start) {
  const fs::path current = logbook.Folder() / kCurrent;
  const uint64_t size = SizeOf(current);
  if (size <= start) return;
  const JournalContents journal = ReadJournalFile(current, start, size, id, /*values=*/false);
  const JournalRun* run = journal.Find(id);
  if (run == nullptr) return;
  std::ofstream out(logbook.Folder() / kIndex, std::ios::binary | std::ios::app);
  out << IndexLine(Summarize(*run, current), size);
}

JournalRun LoadRun(const RunSummary& summary) {
  JournalContents journal = ReadJournalFile(summary.file, summary.start, summary.end, summary.id);
  // Taken out of what was read, not copied: a run of a large item holds tens
  // of MB of values.
  for (JournalRun& found : journal.runs) {
    if (found.id != summary.id) continue;
    JournalRun run = std::move(found);
    if (summary.lines > run.last_line) {
      run.unreadable += summary.lines - run.last_line;
      run.last_line = summary.lines;
    }
    run.unreadable = std::max(run.unreadable, summary.unreadable);
    return run;
  }
  throw Failure("The lines of run " + summary.id + " are no longer in '" + summary.file.string() +
                "'.");
}

}  // namespace tidewell

namespace tidewell {

JournalRun LoadRunToUndo(const RunList& list, const RunSummary& summary) {
  JournalRun run = LoadRun(summary);
  // An undo never looks at the values the run wrote, each as large as the
  // field: they are not kept while it reads and writes the items.
  for (JournalEntry& entry : run.entries) entry.written.reset();
  for (const RunSummary& undo : list.runs) {
    if (undo.kind != RunKind::kUndo || undo.undoes != summary.id || undo.undone) continue;
    const JournalRun earlier = LoadRun(undo);
    run.resumes = run.resumes || !earlier.finished;
    size_t end = earlier.entries.size();
    if (!earlier.finished && !earlier.summarized) {
      // The last item's entries are durable before its save, which a kill may
      // have cut off.
      while (end > 0 &&
             earlier.entries[end - 1].ItemEntryId == earlier.entries.back().ItemEntryId &&
             earlier.entries[end - 1].FolderStoreId == earlier.entries.back().FolderStoreId) {
        --end;
      }
    }
    for (size_t i = 0; i < end; ++i) {
      const JournalEntry& entry = earlier.entries[i];
      if (!entry.complete || entry.failed) continue;
      run.restored_before.push_back({entry.FolderStoreId, entry.ItemEntryId, entry.FieldName});
    }
  }
  return run;
}

}  // namespace tidewell
