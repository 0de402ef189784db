#include "platform/logbook/journal_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/failure.h"

namespace tidewell {

namespace {

constexpr const char* kSource = "Tidewell";
constexpr const char* kRunProcedure = "cmdReplace_Click";
constexpr const char* kUndoSaveProcedure = "UndoSave";

constexpr std::array<const char*, 5> kEntryLabels = {
    "FolderStoreId: ", "FolderEntryId: ", "ItemEntryId: ", "FieldName: ", "FieldValue: "};

struct Record {
  std::string time;
  std::string source;
  std::string procedure;
  std::string message;
  bool undo = false;
};

std::optional<Record> ParseRecord(const std::string& line) {
  const auto json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  auto text = [&](const char* key) -> const std::string* {
    auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                     : nullptr;
  };
  const std::string* time = text("time");
  const std::string* source = text("source");
  const std::string* procedure = text("procedure");
  const std::string* message = text("message");
  auto undo = json.find("undo");
  if (!time || !source || !procedure || !message || undo == json.end() || !undo->is_boolean()) {
    return std::nullopt;
  }
  return Record{*time, *source, *procedure, *message, undo->get<bool>()};
}

bool AllDigits(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Assigns runs and entries line by line.
class Assembler {
 public:
  void Take(const Record& record) {
    if (record.source != kSource) return;
    if (record.undo && record.procedure == kUndoSaveProcedure) {
      TakeUndoRecord(record);
      return;
    }
    // One entry's records are written back to back; any other line ends it.
    CloseEntry();
    if (record.procedure == kRunProcedure) {
      TakeRunLine(record);
    } else if (record.procedure == kUndoRunProcedure) {
      TakeUndoRunLine(record);
    }
  }

  JournalContents Finish() {
    CloseEntry();
    for (JournalRun& run : out_.runs) {
      for (JournalEntry& entry : run.entries) {
        entry.complete = entry.records == static_cast<int>(kEntryLabels.size()) &&
                         (run.kind == RunKind::kReplace || entry.restored.has_value());
      }
    }
    return std::move(out_);
  }

  void Malformed() { ++out_.malformed_lines; }
  void Torn() { out_.torn_last_line = true; }

 private:
  void TakeUndoRecord(const Record& record) {
    size_t label = 0;
    while (label < kEntryLabels.size() && !record.message.starts_with(kEntryLabels[label])) {
      ++label;
    }
    if (label == 0) {
      CloseEntry();
      open_ = JournalEntry{};
      open_->time = record.time;
    } else if (!open_ || label != static_cast<size_t>(open_->records)) {
      // A record out of its place: neither it nor the entry it breaks into can
      // be trusted.
      CloseEntry();
      Malformed();
      return;
    }
    const std::string value = record.message.substr(std::strlen(kEntryLabels[label]));
    std::string* fields[] = {&open_->FolderStoreId, &open_->FolderEntryId, &open_->ItemEntryId,
                             &open_->FieldName, &open_->FieldValue};
    *fields[label] = value;
    if (++open_->records == static_cast<int>(kEntryLabels.size())) CloseEntry();
  }

  void TakeRunLine(const Record& record) {
    if (std::optional<std::string> name = ParseFolderLine(record.message)) {
      pending_folder_ = PendingFolder{std::move(*name), record.time};
      return;
    }
    std::optional<SearchLine> search = ParseSearchLine(record.message);
    if (!search) return;
    std::optional<PendingFolder> folder = std::exchange(pending_folder_, std::nullopt);
    JournalRun* run = out_.runs.empty() ? nullptr : &out_.runs.back();
    const bool continues =
        run != nullptr && run->kind == RunKind::kReplace && run->search_line == record.message &&
        (!folder ||
         std::find(run->folders.begin(), run->folders.end(), folder->name) == run->folders.end());
    if (!continues) {
      run = &out_.runs.emplace_back();
      run->time = folder ? folder->time : record.time;
      run->SearchFor = search->SearchFor;
      run->ReplaceWith = search->ReplaceWith;
      run->CaseSensitive = search->CaseSensitive;
      run->ambiguous_search = search->ambiguous;
      run->search_line = record.message;
    }
    if (folder) run->folders.push_back(folder->name);
  }

  void TakeUndoRunLine(const Record& record) {
    if (record.message.starts_with(kUndoRunHeader)) {
      JournalRun& run = out_.runs.emplace_back();
      run.kind = RunKind::kUndo;
      run.time = record.time;
      run.undone = record.message.substr(std::strlen(kUndoRunHeader));
    } else if (record.message.starts_with(kUndoRestoredValue) && !out_.runs.empty() &&
               out_.runs.back().kind == RunKind::kUndo && !out_.runs.back().entries.empty()) {
      JournalEntry& last = out_.runs.back().entries.back();
      if (last.records == static_cast<int>(kEntryLabels.size()) && !last.restored) {
        last.restored = record.message.substr(std::strlen(kUndoRestoredValue));
      }
    }
  }

  void CloseEntry() {
    if (!open_) return;
    if (out_.runs.empty()) {
      ++out_.stray_entries;
    } else {
      out_.runs.back().entries.push_back(std::move(*open_));
    }
    open_.reset();
  }

  struct PendingFolder {
    std::string name;
    std::string time;
  };

  JournalContents out_;
  std::optional<JournalEntry> open_;
  std::optional<PendingFolder> pending_folder_;
};

}  // namespace

size_t JournalRun::CompleteEntries() const {
  return static_cast<size_t>(std::count_if(entries.begin(), entries.end(),
                                           [](const JournalEntry& e) { return e.complete; }));
}

size_t JournalRun::ChangedItems() const {
  std::set<std::pair<std::string, std::string>> items;
  for (const JournalEntry& e : entries) {
    if (e.complete) items.emplace(e.FolderStoreId, e.ItemEntryId);
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

JournalContents ReadJournal(std::istream& in) {
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Assembler assembler;
  size_t start = 0;
  while (start < text.size()) {
    const size_t newline = text.find('\n', start);
    const bool last_unended = newline == std::string::npos;
    const std::string line = text.substr(start, last_unended ? std::string::npos : newline - start);
    start = last_unended ? text.size() : newline + 1;
    if (std::optional<Record> record = ParseRecord(line)) {
      assembler.Take(*record);
    } else if (last_unended) {
      assembler.Torn();
    } else {
      assembler.Malformed();
    }
  }
  return assembler.Finish();
}

JournalContents ReadJournalFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return {};
    throw Failure("Cannot read '" + path.string() + "': " + std::strerror(error));
  }
  return ReadJournal(in);
}

}  // namespace tidewell
