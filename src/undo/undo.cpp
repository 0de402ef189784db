#include "undo/undo.h"

#include <cstdio>
#include <ctime>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "engine/replace_engine.h"
#include "platform/failure.h"
#include "text/rich_text.h"

namespace tidewell {

namespace {

constexpr const char* kSource = "Tidewell";
constexpr int32_t kProgressLine = 0;

bool IsPhone(const std::string& property) {
  for (const CatalogRow& step : FieldsOf(FieldKind::Contact)) {
    if (step.handling == FieldHandling::kPhone && property == step.property) return true;
  }
  return false;
}

// The store makes a body's RTF anew from the note at every read, so only its
// shown text says what the body holds.
bool SameValue(const std::string& property, const std::string& a, const std::string& b) {
  if (a == b) return true;
  return property == "RTFBody" && PlainTextFromRtf(a) == PlainTextFromRtf(b);
}

// "2026-12-05T17:25:24.123Z" as seconds since the epoch; nullopt for any
// other text.
std::optional<double> EpochOf(const std::string& time) {
  std::tm parts{};
  int millis = 0;
  if (std::sscanf(time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis) != 7) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<double>(timegm(&parts)) + millis / 1000.0;
}

// An entry cut off at the end of its run: the run died while journalling it,
// and the store saves an item only once its entries are durable, so the item
// was not saved then. But a journal cut short later looks the same, so when
// the entry names its item, the item's file must also be unchanged since.
bool NeverSaved(const JournalEntry& entry, const MailStore& store) {
  if (!entry.cut_off) return false;
  if (entry.records < 3) return true;
  const std::optional<double> modified = store.LastWritten(entry.ItemEntryId, entry.FolderStoreId);
  if (!modified) return false;
  const std::optional<double> began = EpochOf(entry.time);
  return began && *modified < *began;
}

class Undoer {
 public:
  // `releasable`, when given, is `run` itself, whose values may be let go of.
  Undoer(const JournalRun& run, JournalRun* releasable, const MailStore& store,
         Components& components, const std::function<bool()>& stop)
      : stop_(stop),
        run_(run),
        releasable_(releasable),
        store_(store),
        components_(components),
        journal_(components),
        matchers_(components.CreatePatternMatchers()) {
    for (const auto& matcher : matchers_) matcher->SetCaseSensitive(run.CaseSensitive != 0);
  }

  UndoOutcome Undo() {
    // Item by item, so each is saved once; inside an item the newest change
    // goes first, so a field the run changed twice (a folder listed twice)
    // ends with the value it had before the run.
    std::vector<std::vector<const JournalEntry*>> items;
    std::map<std::pair<std::string, std::string>, size_t> item_index;
    // Each restore an earlier undo of this run made stands for one change,
    // the newest first, as that undo went.
    std::map<FieldKey, size_t> done;
    for (const FieldKey& key : run_.restored_before) ++done[key];
    for (auto entry = run_.entries.rbegin(); entry != run_.entries.rend(); ++entry) {
      // Its item was never stored: nothing to give back.
      if (entry->failed) continue;
      if (entry->complete) {
        auto restored = done.find({entry->FolderStoreId, entry->ItemEntryId, entry->FieldName});
        if (restored != done.end() && restored->second > 0) {
          --restored->second;
          continue;
        }
      }
      if (!entry->complete && NeverSaved(*entry, store_)) continue;
      if (!entry->complete) {
        Skip(*entry, entry->records < 5 ? "its journal entry is incomplete (" +
                                              std::to_string(entry->records) + " of 5 records)"
                                        : "its journal entry lacks the value the undo wrote");
        continue;
      }
      auto [at, added] =
          item_index.try_emplace({entry->FolderStoreId, entry->ItemEntryId}, items.size());
      if (added) items.emplace_back();
      items[at->second].push_back(&*entry);
    }
    for (const auto& entries : items) {
      if (stop_ && stop_()) {
        outcome_.stopped = true;
        break;
      }
      UndoItem(entries);
    }

    // The summary line only helps a reader of the log, but the finished mark
    // tells the next undo that this run needs nothing more, so an undo that
    // went through with nothing to write leaves its header and mark too.
    try {
      // An undo that wrote nothing is no run, unless it finishes an earlier one.
      if (!outcome_.stopped && run_.resumes) LogHeader();
      if (header_logged_) Log(kUndoRunProcedure, UndoSummary(outcome_), kProgressLine);
      if (header_logged_ && !outcome_.stopped) Log(kUndoRunProcedure, kUndoFinished, kProgressLine);
    } catch (const std::exception&) {
      // Not finished on record: the next undo of this run checks the items
      // again and finds nothing to do.
    }
    outcome_.unreadable = run_.unreadable;
    return std::move(outcome_);
  }

 private:
  void UndoItem(const std::vector<const JournalEntry*>& entries) {
    const JournalEntry& first = *entries.front();
    std::unique_ptr<SafeItem> item;
    try {
      std::shared_ptr<OutlookItem> found =
          store_.GetItemFromID(first.ItemEntryId, first.FolderStoreId);
      if (!found) return SkipAll(entries, "the item is gone");
      const char* progId = SafeItemProgId(found->TypeName());
      if (progId == nullptr) return SkipAll(entries, "the item is no contact, appointment or task");
      item = components_.CreateSafeItem(progId);
      item->SetItem(found);
    } catch (const std::exception& e) {
      return SkipAll(entries, "the item cannot be opened: " + DescriptionOf(e));
    }
    if (store_.LeavesNotifyingItemsAlone() &&
        store_.MayNotifyOthers(first.ItemEntryId, first.FolderStoreId)) {
      return SkipAll(entries, kNotifiesAttendees);
    }

    std::vector<const JournalEntry*> written;
    for (const JournalEntry* entry : entries) {
      if (Restore(*entry, *item, written.empty())) written.push_back(entry);
    }
    Release(entries);
    if (lost_line_) {
      SkipAll(written, "the item could not be saved: " + *lost_line_);
      lost_line_.reset();
      return;
    }
    if (written.empty()) return;
    try {
      item->Save();
    } catch (const std::exception& e) {
      return SkipAll(written, "the item could not be saved: " + DescriptionOf(e));
    }
    outcome_.restored_fields += static_cast<int>(written.size());
    ++outcome_.restored_items;
  }

  // Writes the entry's old value into `item` when the field still shows what
  // the run wrote; true when it did. A field that already holds its old value
  // is left as it is, neither restored nor skipped: the run was cut off
  // between journalling it and saving the item, or the run was undone before.
  bool Restore(const JournalEntry& entry, SafeItem& item, bool first) {
    const std::string property = PropertyOfJournalName(entry.FieldName);
    // A body's run result is searched for before the item's own RTF is read,
    // so that the old RTF's shown text is never held beside it; a failure
    // there is told after the read's, as if the two went the other way.
    std::optional<ShownTextEdit> edit;
    std::exception_ptr unchecked;
    if (property == "RTFBody" && run_.kind == RunKind::kReplace && !matchers_.empty()) {
      try {
        matchers_[0]->SetPattern(run_.SearchFor);
        edit.emplace(*matchers_[0], entry.FieldValue, run_.ReplaceWith);
      } catch (const std::exception&) {
        unchecked = std::current_exception();
      }
    }
    std::string current;
    try {
      current = item.Get(property);
    } catch (const std::exception& e) {
      return Skip(entry, "cannot be read: " + DescriptionOf(e));
    }
    try {
      if (unchecked) std::rethrow_exception(unchecked);
      if (!ShowsRunResult(entry, property, current, edit ? &*edit : nullptr)) {
        if (SameValue(property, current, entry.FieldValue)) return false;
        return Skip(entry, "changed since the run");
      }
    } catch (const std::exception& e) {
      return Skip(entry, "cannot be checked: " + DescriptionOf(e));
    }
    // It refers to the value, which the item may take below.
    edit.reset();
    try {
      // Where the item holds the line when it is its own token: a field of
      // tens of MB is not copied for its record.
      std::string token;
      std::optional<std::string_view> line = item.PropertyLineView(property);
      if (!line) line = token = item.PropertyLine(property);
      JournalOverwrite(entry, current, *line);
    } catch (const std::exception& e) {
      return Skip(entry, "the journal cannot be written: " + DescriptionOf(e));
    }
    // Journalled: not held while the item takes the old value.
    std::string().swap(current);
    // The line goes back as the run read it, when it reads so again. The
    // item's first field takes a line held since the journal's read before
    // its value, so that the two are not held beside the journal's: a line
    // the value never reaches is never written, and a later field of the same
    // line takes that line's place. A line left in the journal is read again
    // only once the item holds the value and the value is let go of.
    const bool line_first = first && !entry.line.empty();
    try {
      if (line_first) {
        item.RestoreLine(property, entry.line);
        ReleaseLine(entry);
      }
      // An item that converts the value (the body's RTF) lets it go before it
      // stores what it made of it; the value is not needed after this.
      if (releasable_ != nullptr) {
        item.SetTaken(property, std::move(Releasable(entry).FieldValue));
      } else {
        item.Set(property, entry.FieldValue);
      }
      // The item holds the value now: it is not held beside the line below.
      ReleaseValue(entry);
      if (!line_first && !entry.line.empty()) item.RestoreLine(property, entry.line);
    } catch (const std::exception& e) {
      return Skip(entry, "cannot be written: " + DescriptionOf(e));
    }
    if (entry.line_at) {
      try {
        item.RestoreLineTaken(property, ReadAgain(*entry.line_at));
      } catch (const std::exception& e) {
        // The value is in the item already: the item is not saved.
        lost_line_ = DescriptionOf(e);
        return Skip(entry, "cannot be written: " + *lost_line_);
      }
    }
    return true;
  }

  std::string ReadAgain(const JournalPlace& place) {
    if (!run_.read_again) throw Failure("the journal left its line unread");
    return run_.read_again(place);
  }

  void ReleaseValue(const JournalEntry& done) {
    if (releasable_ != nullptr) std::string().swap(Releasable(done).FieldValue);
  }

  void ReleaseLine(const JournalEntry& done) {
    if (releasable_ != nullptr) std::string().swap(Releasable(done).line);
  }

  JournalEntry& Releasable(const JournalEntry& entry) {
    return releasable_->entries[static_cast<size_t>(&entry - run_.entries.data())];
  }

  // `edit`, when given, is the body's edit by the first matcher.
  bool ShowsRunResult(const JournalEntry& entry, const std::string& property,
                      const std::string& current, const ShownTextEdit* edit) {
    if (run_.kind == RunKind::kUndo) return SameValue(property, current, *entry.restored);
    for (size_t i = 0; i < matchers_.size(); ++i) {
      try {
        if (ShowsResultOf(*matchers_[i], entry, property, current, i == 0 ? edit : nullptr)) {
          return true;
        }
      } catch (const std::exception&) {
        // A pattern of the other syntax may not compile in this one.
        if (i == 0) throw;
      }
    }
    return false;
  }

  bool ShowsResultOf(PatternMatcher& matcher, const JournalEntry& entry,
                     const std::string& property, const std::string& current,
                     const ShownTextEdit* edit) {
    if (property == "RTFBody") {
      std::optional<ShownTextEdit> own;
      if (edit == nullptr) {
        matcher.SetPattern(run_.SearchFor);
        edit = &own.emplace(matcher, entry.FieldValue, run_.ReplaceWith);
      }
      // The same RTF shows the same text: the usual case is settled as the
      // result is written, without it or a shown text of a large body.
      if (edit->Gives(current)) return true;
      // The run's result as shown text before the item's own: one shown
      // text of a large body at a time.
      const std::string shown = PlainTextFromRtf(edit->Result());
      return shown == PlainTextFromRtf(current);
    }
    matcher.SetPattern(run_.SearchFor);
    matcher.SetText(entry.FieldValue);
    if (matcher.MatchCount() > 0) {
      matcher.SetReplace(run_.ReplaceWith);
      if (matcher.Text() == current) return true;
    }
    // Which phone rule the run used depends on a setting that may have
    // changed since, so either result counts.
    return IsPhone(property) &&
           ReplaceAreaPart(matcher, entry.FieldValue, run_.ReplaceWith) == current;
  }

  // The same five records the page writes, then the value going back in, so
  // that this undo can be undone in turn.
  void LogHeader() {
    if (header_logged_) return;
    components_.CreateActivityLogger()->WriteWith(
        kSource, kUndoRunProcedure, kUndoRunHeader + run_.time, kProgressLine, "undoes", run_.id);
    header_logged_ = true;
  }

  void JournalOverwrite(const JournalEntry& entry, const std::string& overwritten,
                        std::string_view line) {
    LogHeader();
    journal_.WriteUndoRecords(entry.FolderStoreId, entry.FolderEntryId, entry.ItemEntryId,
                              entry.FieldName, overwritten, entry.FieldValue, line);
    // Written from where the value is held, never joined to its head first.
    components_.CreateActivityLogger()->WriteParts(kSource, kUndoRunProcedure, kUndoRestoredValue,
                                                   entry.FieldValue, kProgressLine, "", {}, "", {});
  }

  // The item's entries are done with: their values, as large as the fields,
  // are not held while it is saved and the next items are read.
  void Release(const std::vector<const JournalEntry*>& entries) {
    if (releasable_ == nullptr) return;
    for (const JournalEntry* done : entries) {
      JournalEntry& entry = releasable_->entries[static_cast<size_t>(done - run_.entries.data())];
      std::string().swap(entry.FieldValue);
      std::string().swap(entry.line);
      entry.restored.reset();
      entry.written.reset();
    }
  }

  void Log(const std::string& procedure, const std::string& message, int32_t undo) {
    components_.CreateActivityLogger()->Write(kSource, procedure, message, undo);
  }

  bool Skip(const JournalEntry& entry, std::string reason) {
    outcome_.skipped.push_back({entry.ItemEntryId, entry.FieldName, std::move(reason)});
    return false;
  }

  void SkipAll(const std::vector<const JournalEntry*>& entries, const std::string& reason) {
    for (const JournalEntry* entry : entries) Skip(*entry, reason);
  }

  const std::function<bool()>& stop_;
  const JournalRun& run_;
  JournalRun* releasable_;
  const MailStore& store_;
  Components& components_;
  Journal journal_;
  std::vector<std::unique_ptr<PatternMatcher>> matchers_;
  bool header_logged_ = false;
  // Why a field's line could not be read again from the journal: its item,
  // which holds the field's value already, is left unsaved.
  std::optional<std::string> lost_line_;
  UndoOutcome outcome_;
};

}  // namespace

UndoOutcome UndoJournalRun(const JournalRun& run, const MailStore& store, Components& components,
                           const std::function<bool()>& stop) {
  return Undoer(run, nullptr, store, components, stop).Undo();
}

UndoOutcome UndoJournalRun(JournalRun&& run, const MailStore& store, Components& components,
                           const std::function<bool()>& stop) {
  return Undoer(run, &run, store, components, stop).Undo();
}

size_t NotifyingItems(const JournalRun& run, const MailStore& store) {
  if (!store.SchedulesImplicitly()) return 0;
  std::set<std::pair<std::string, std::string>> seen;
  size_t count = 0;
  for (const JournalEntry& entry : run.entries) {
    if (!entry.complete || !seen.insert({entry.FolderStoreId, entry.ItemEntryId}).second) continue;
    try {
      if (store.GetItemFromID(entry.ItemEntryId, entry.FolderStoreId) &&
          store.MayNotifyOthers(entry.ItemEntryId, entry.FolderStoreId)) {
        ++count;
      }
    } catch (const std::exception&) {
      // The undo itself skips an item it cannot open, and says why.
    }
  }
  return count;
}

std::string UndoSummary(const UndoOutcome& outcome) {
  return "Restored " + std::to_string(outcome.restored_fields) + " fields in " +
         std::to_string(outcome.restored_items) + " items; skipped " +
         std::to_string(outcome.skipped.size()) + ".";
}

UndoScope LeftToUndo(const JournalRun& run) {
  std::map<FieldKey, size_t> done;
  for (const FieldKey& key : run.restored_before) ++done[key];
  size_t fields = 0;
  std::set<std::pair<std::string, std::string>> items;
  for (auto entry = run.entries.rbegin(); entry != run.entries.rend(); ++entry) {
    if (!entry->complete || entry->failed) continue;
    auto restored = done.find({entry->FolderStoreId, entry->ItemEntryId, entry->FieldName});
    if (restored != done.end() && restored->second > 0) {
      --restored->second;
      continue;
    }
    ++fields;
    items.emplace(entry->FolderStoreId, entry->ItemEntryId);
  }
  return {fields, items.size()};
}

std::string UndoQuestion(const JournalRun& run) {
  const UndoScope left = LeftToUndo(run);
  return "Undo the run of " + run.time + " (" + run.Description() +
         "): " + std::to_string(left.fields) + " fields in " + std::to_string(left.items) +
         " items?";
}

std::string DescribeUnreadable(size_t records) {
  return std::to_string(records) +
         " records of this run could not be read (a damaged journal); the fields they held were "
         "not restored.";
}

std::string DescribeSkipped(const SkippedField& skipped) {
  return (skipped.FieldName.empty() ? "A field" : skipped.FieldName) + " of " +
         (skipped.ItemEntryId.empty() ? "an unknown item" : skipped.ItemEntryId) + ": " +
         skipped.reason;
}

}  // namespace tidewell
