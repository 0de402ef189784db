#include "app/run_report.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/failure.h"
#include "platform/safe_item.h"
#include "text/rich_text.h"

namespace tidewell {

namespace {

using Key = std::pair<std::string, std::string>;  // store id, entry id

std::string FolderName(HostEnvironment& env, const JournalEntry& entry) {
  try {
    if (auto found = env.host->engine().YSGetFolder(entry.FolderEntryId, entry.FolderStoreId)) {
      return found->Name();
    }
  } catch (const std::exception&) {
  }
  return entry.FolderEntryId;
}

// The name a preview gives the item: its "Subject", which for a contact is
// its full name, so that a run's changes read as its preview did; and where
// it is kept.
struct ItemNaming {
  std::string name;
  std::string location;
};

ItemNaming NameItem(HostEnvironment& env, const JournalEntry& entry) {
  try {
    if (auto found = env.store->GetItemFromID(entry.ItemEntryId, entry.FolderStoreId)) {
      const std::string type = found->TypeName();
      auto wrapper = env.components->CreateSafeItem(
          type == "ContactItem" ? kSafeContactItem
                                : (type == "TaskItem" ? kSafeTaskItem : kSafeAppointmentItem));
      wrapper->SetItem(found);
      std::string location;
      try {
        location = found->GetProperty(kLocationProperty);
      } catch (const std::exception&) {
      }
      return {wrapper->Get("Subject"), location};
    }
  } catch (const std::exception&) {
  }
  return {entry.ItemEntryId, ""};
}

}  // namespace

std::vector<FieldChange> RunChanges(const JournalRun& run, HostEnvironment& env) {
  std::map<Key, std::string> folders;
  std::map<Key, ItemNaming> items;
  std::vector<FieldChange> changes;
  for (const JournalEntry& entry : run.entries) {
    if (!entry.complete) continue;
    auto [folder, new_folder] = folders.try_emplace({entry.FolderStoreId, entry.FolderEntryId});
    if (new_folder) folder->second = FolderName(env, entry);
    auto [item, new_item] = items.try_emplace({entry.FolderStoreId, entry.ItemEntryId});
    if (new_item) item->second = NameItem(env, entry);
    const std::string written =
        run.kind == RunKind::kUndo ? entry.restored.value_or("") : entry.written.value_or("");
    // The journal keeps the body as the RTF that was written; a listing shows
    // it as the preview did, as the text a reader sees.
    const std::string item_id = entry.FolderStoreId + "\t" + entry.ItemEntryId;
    const auto& [name, location] = item->second;
    if (entry.FieldName == "Body") {
      changes.push_back({folder->second, name, entry.FieldName, PlainTextFromRtf(entry.FieldValue),
                         PlainTextFromRtf(written), item_id, location});
    } else {
      changes.push_back(
          {folder->second, name, entry.FieldName, entry.FieldValue, written, item_id, location});
    }
  }
  return changes;
}

std::vector<RunFailure> RunFailures(const Logbook& logbook, const std::string& runId) {
  const std::filesystem::path& path = logbook.ErrorsPath();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return {};
    throw Failure("Cannot read '" + path.string() + "': " + std::strerror(error));
  }
  std::vector<RunFailure> failures;
  for (std::string line; std::getline(in, line);) {
    const auto json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) continue;
    const auto text = [&json](const char* key) {
      const auto found = json.find(key);
      return found != json.end() && found->is_string() ? found->get<std::string>() : std::string();
    };
    if (text("run") != runId) continue;
    failures.push_back({text("time"), text("procedure"), text("message")});
  }
  return failures;
}

}  // namespace tidewell
