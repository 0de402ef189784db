#include "journal/journal_runs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

namespace tidewell {

namespace {

constexpr const char* kSource = "Tidewell";
constexpr const char* kRunProcedure = "cmdReplace_Click";
constexpr const char* kUndoSaveProcedure = "UndoSave";

constexpr std::array<const char*, 5> kEntryLabels = {
    "FolderStoreId: ", "FolderEntryId: ", "ItemEntryId: ", "FieldName: ", "FieldValue: "};

// `from` without its first `skip` bytes into `to`. A large value is taken,
// held once; a small one is copied to its size, leaving `from` its room for
// the next line.
void TakeText(std::string& from, size_t skip, std::string& to) {
  if (from.size() < (size_t{64} << 10)) {
    to.assign(from, skip);
    return;
  }
  to = std::move(from);
  to.erase(0, skip);
}

bool AllDigits(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Assigns runs and entries line by line.
class Assembler {
 public:
  // Takes the values of an undo record out of `record`: a field's value may
  // be tens of MB, held once.
  void Take(JournalRecord& record, uint64_t start, uint64_t end) {
    if (record.source != kSource) return;
    Slot* slot = nullptr;
    if (record.run.empty()) {
      // Older lines: a run line may begin a new run, so they go first.
      if (!(record.undo && record.procedure == kUndoSaveProcedure)) {
        CloseEntry(legacy_);
        if (record.procedure == kRunProcedure) TakeLegacyRunLine(record, start);
        if (record.procedure == kUndoRunProcedure && record.message.starts_with(kUndoRunHeader)) {
          legacy_current_ = NewSlot(record.time, record.time, start);
        }
      }
      if (legacy_current_ != kNone) {
        slots_[legacy_current_].run.end = end;
        slot = &slots_[legacy_current_];
      }
      TakeLine(record, slot, legacy_);
      return;
    }
    auto [at, added] = by_id_.try_emplace(record.run, slots_.size());
    if (added) NewSlot(record.run, record.time, start);
    slot = &slots_[at->second];
    slot->run.end = end;
    if (record.number) {
      ++slot->numbered;
      slot->run.last_line = std::max(slot->run.last_line, *record.number);
    }
    if (record.procedure == kRunProcedure && !(record.undo)) {
      CloseEntry(*slot);
      TakeRunLine(record, *slot);
      return;
    }
    TakeLine(record, slot, *slot);
  }

  JournalContents Finish() {
    if (legacy_.open) legacy_.open->cut_off = true;
    CloseEntry(legacy_);
    for (Slot& slot : slots_) {
      if (slot.open) slot.open->cut_off = true;
      CloseEntry(slot);
    }
    for (Slot& slot : slots_) {
      if (!slot.is_run) {
        out_.stray_entries += slot.run.entries.size();
        continue;
      }
      slot.run.counted = slot.numbered > 0;
      slot.run.unreadable =
          slot.run.last_line > slot.numbered ? slot.run.last_line - slot.numbered : 0;
      if (!slot.run.counted || slot.run.kind != RunKind::kUndo) slot.run.finished = true;
      for (JournalEntry& entry : slot.run.entries) {
        entry.complete = entry.records == static_cast<int>(kEntryLabels.size()) &&
                         (slot.run.kind == RunKind::kReplace || entry.restored.has_value());
      }
      out_.runs.push_back(std::move(slot.run));
    }
    return std::move(out_);
  }

  void Malformed() { ++out_.malformed_lines; }
  void Torn() { ++out_.torn_lines; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  struct PendingFolder {
    std::string name;
    std::string time;
  };
  // What is being assembled: a run, or for older lines the open entry only.
  struct Slot {
    JournalRun run;
    bool is_run = false;
    std::optional<JournalEntry> open;
    std::optional<PendingFolder> pending_folder;
    uint64_t numbered = 0;  // lines read that carry "n"
  };

  size_t NewSlot(const std::string& id, const std::string& time, uint64_t start) {
    Slot& slot = slots_.emplace_back();
    slot.run.id = id;
    slot.run.time = time;
    slot.run.start = start;
    return slots_.size() - 1;
  }

  // An undo record or an UndoRun line, of `run` (null: before any run) with
  // its entry being assembled in `state`.
  void TakeLine(JournalRecord& record, Slot* run, Slot& state) {
    if (record.undo && record.procedure == kUndoSaveProcedure) {
      TakeUndoRecord(record, state);
      return;
    }
    // One entry's records are written back to back; any other line ends it.
    CloseEntry(state);
    if (run != nullptr && record.procedure == kUndoRunProcedure) TakeUndoRunLine(record, *run);
    if (run != nullptr && record.procedure == kItemNotSavedProcedure &&
        record.message.starts_with(kItemNotSaved)) {
      // The item's entries were written just before its save failed.
      const std::string item = record.message.substr(std::strlen(kItemNotSaved));
      for (auto entry = run->run.entries.rbegin();
           entry != run->run.entries.rend() && entry->ItemEntryId == item && !entry->failed;
           ++entry) {
        entry->failed = true;
      }
    }
    if (run != nullptr && record.procedure == kItemNotSavedProcedure &&
        record.message.starts_with(kFieldNotWritten) && !run->run.entries.empty() &&
        run->run.entries.back().ItemEntryId ==
            record.message.substr(std::strlen(kFieldNotWritten))) {
      run->run.entries.back().failed = true;
    }
  }

  void TakeUndoRecord(JournalRecord& record, Slot& state) {
    size_t label = 0;
    while (label < kEntryLabels.size() && !record.message.starts_with(kEntryLabels[label])) {
      ++label;
    }
    if (label == 0) {
      CloseEntry(state);
      state.open = JournalEntry{};
      state.open->time = record.time;
    } else if (!state.open || label != static_cast<size_t>(state.open->records)) {
      // A record out of its place: neither it nor the entry it breaks into can
      // be trusted.
      CloseEntry(state);
      Malformed();
      return;
    }
    JournalEntry& entry = *state.open;
    std::string* fields[] = {&entry.FolderStoreId, &entry.FolderEntryId, &entry.ItemEntryId,
                             &entry.FieldName, &entry.FieldValue};
    TakeText(record.message, std::strlen(kEntryLabels[label]), *fields[label]);
    if (label + 1 == kEntryLabels.size()) {
      if (record.written) TakeText(*record.written, 0, entry.written.emplace());
      TakeText(record.line, 0, entry.line);
      entry.line_at = record.line_at;
    }
    if (++entry.records == static_cast<int>(kEntryLabels.size())) CloseEntry(state);
  }

  void TakeRunLine(const JournalRecord& record, Slot& slot) {
    if (std::optional<std::string> name = ParseFolderLine(record.message)) {
      slot.pending_folder = PendingFolder{std::move(*name), record.time};
      return;
    }
    std::optional<SearchLine> search = ParseSearchLine(record.message);
    if (!search) return;
    if (!slot.is_run) {
      slot.is_run = true;
      SetSearch(slot.run, *search, record.message);
    }
    if (slot.pending_folder) slot.run.folders.push_back(slot.pending_folder->name);
    slot.pending_folder.reset();
  }

  void TakeLegacyRunLine(const JournalRecord& record, uint64_t start) {
    if (std::optional<std::string> name = ParseFolderLine(record.message)) {
      legacy_pending_ = PendingFolder{std::move(*name), record.time};
      legacy_pending_start_ = start;
      return;
    }
    std::optional<SearchLine> search = ParseSearchLine(record.message);
    if (!search) return;
    std::optional<PendingFolder> folder = std::exchange(legacy_pending_, std::nullopt);
    Slot* current = legacy_current_ == kNone ? nullptr : &slots_[legacy_current_];
    const bool continues =
        current != nullptr && current->run.kind == RunKind::kReplace &&
        current->run.search_line == record.message &&
        (!folder || std::find(current->run.folders.begin(), current->run.folders.end(),
                              folder->name) == current->run.folders.end());
    if (!continues) {
      const std::string& time = folder ? folder->time : record.time;
      legacy_current_ = NewSlot(time, time, folder ? legacy_pending_start_ : start);
      current = &slots_[legacy_current_];
      current->is_run = true;
      SetSearch(current->run, *search, record.message);
    }
    if (folder) current->run.folders.push_back(folder->name);
  }

  static void SetSearch(JournalRun& run, const SearchLine& search, const std::string& line) {
    run.kind = RunKind::kReplace;
    run.SearchFor = search.SearchFor;
    run.ReplaceWith = search.ReplaceWith;
    run.CaseSensitive = search.CaseSensitive;
    run.ambiguous_search = search.ambiguous;
    run.search_line = line;
  }

  void TakeUndoRunLine(JournalRecord& record, Slot& slot) {
    if (record.message == kUndoFinished) {
      slot.run.finished = true;
    } else if (record.message.starts_with("Restored ") &&
               !record.message.starts_with(kUndoRestoredValue)) {
      slot.run.summarized = true;
    } else if (record.message.starts_with(kUndoRunHeader)) {
      if (slot.is_run) return;
      slot.is_run = true;
      slot.run.kind = RunKind::kUndo;
      slot.run.undone = record.message.substr(std::strlen(kUndoRunHeader));
      slot.run.undoes = record.undoes;
    } else if (record.message.starts_with(kUndoRestoredValue) && slot.is_run &&
               slot.run.kind == RunKind::kUndo && !slot.run.entries.empty()) {
      JournalEntry& last = slot.run.entries.back();
      if (last.records == static_cast<int>(kEntryLabels.size()) && !last.restored) {
        TakeText(record.message, std::strlen(kUndoRestoredValue), last.restored.emplace());
      }
    }
  }

  void CloseEntry(Slot& state) {
    if (!state.open) return;
    if (&state == &legacy_) {
      if (legacy_current_ == kNone) {
        ++out_.stray_entries;
      } else {
        slots_[legacy_current_].run.entries.push_back(std::move(*state.open));
      }
    } else {
      state.run.entries.push_back(std::move(*state.open));
    }
    state.open.reset();
  }

  JournalContents out_;
  std::vector<Slot> slots_;  // runs in the order of their first lines
  std::unordered_map<std::string, size_t> by_id_;
  // Lines without a run id.
  Slot legacy_;
  size_t legacy_current_ = kNone;
  std::optional<PendingFolder> legacy_pending_;
  uint64_t legacy_pending_start_ = 0;
};

}  // namespace

size_t JournalRun::CompleteEntries() const {
  return static_cast<size_t>(
      std::count_if(entries.begin(), entries.end(),
                    [](const JournalEntry& e) { return e.complete && !e.failed; }));
}

size_t JournalRun::ChangedItems() const {
  std::set<std::pair<std::string, std::string>> items;
  for (const JournalEntry& e : entries) {
    if (e.complete && !e.failed) items.emplace(e.FolderStoreId, e.ItemEntryId);
  }
  return items.size();
}

std::string JournalRun::Description() const {
  return kind == RunKind::kUndo ? kUndoRunHeader + undone : search_line;
}

std::optional<SearchLine> ParseSearchLine(const std::string& message) {
  static constexpr std::string_view kStart = "Looking for '";
  static constexpr std::string_view kMiddle = "' replacing with '";
  static constexpr std::string_view kCase = "'; Case sensitive: ";
  if (!message.starts_with(kStart)) return std::nullopt;
  // The case value is digits, so the last kCase is the real one whatever the
  // replacement holds.
  const size_t case_at = message.rfind(kCase);
  if (case_at == std::string::npos || case_at < kStart.size()) return std::nullopt;
  const std::string case_text = message.substr(case_at + kCase.size());
  if (!AllDigits(case_text) || case_text.size() > 10) return std::nullopt;

  const std::string texts = message.substr(kStart.size(), case_at - kStart.size());
  const size_t middle = texts.find(kMiddle);
  if (middle == std::string::npos) return std::nullopt;
  SearchLine line;
  line.SearchFor = texts.substr(0, middle);
  line.ReplaceWith = texts.substr(middle + kMiddle.size());
  line.CaseSensitive = static_cast<int32_t>(std::stoll(case_text));
  line.ambiguous = texts.find(kMiddle, middle + 1) != std::string::npos;
  return line;
}

std::optional<std::string> ParseFolderLine(const std::string& message) {
  static constexpr std::string_view kMiddle = "Count of items in folder '";
  static constexpr std::string_view kEnd = "': ";
  const size_t end_at = message.rfind(kEnd);
  if (end_at == std::string::npos || !AllDigits(message.substr(end_at + kEnd.size()))) {
    return std::nullopt;
  }
  const std::string_view names = std::string_view(message).substr(0, end_at);
  if (names.size() < kMiddle.size() || (names.size() - kMiddle.size()) % 2 != 0) {
    return std::nullopt;
  }
  const size_t length = (names.size() - kMiddle.size()) / 2;
  if (names.substr(length, kMiddle.size()) != kMiddle ||
      names.substr(0, length) != names.substr(length + kMiddle.size())) {
    return std::nullopt;
  }
  return std::string(names.substr(0, length));
}

const JournalRun* JournalContents::Find(const std::string& id) const {
  for (const JournalRun& run : runs) {
    if (run.id == id) return &run;
  }
  return nullptr;
}

std::vector<std::string> UndoneRuns(const std::vector<RunRef>& runs) {
  // An undo of an undo gives the first undo's run its changes back.
  std::map<std::string, const RunRef*> by_id;
  std::set<std::string> undone;
  for (const RunRef& run : runs) {
    by_id[run.id] = &run;
    if (run.kind != RunKind::kUndo || run.undoes.empty()) continue;
    undone.insert(run.undoes);
    auto target = by_id.find(run.undoes);
    if (target != by_id.end() && target->second->kind == RunKind::kUndo) {
      undone.erase(target->second->undoes);
    }
  }
  return {undone.begin(), undone.end()};
}

JournalContents GroupJournalLines(const std::function<bool(JournalLine&)>& next) {
  Assembler assembler;
  JournalLine line;
  while (next(line)) {
    switch (line.kind) {
      case JournalLine::Kind::kRecord:
        assembler.Take(line.record, line.start, line.end);
        break;
      case JournalLine::Kind::kTorn:
        assembler.Torn();
        break;
      case JournalLine::Kind::kMalformed:
        assembler.Malformed();
        break;
    }
  }
  return assembler.Finish();
}

}  // namespace tidewell
