// The lines `--json` prints: JSON Lines, one object a line, each with a
// "type" ("change", "folder", "summary", "store", "server", "run") telling a
// script which keys it has. Texts are UTF-8; bytes that are not become U+FFFD
// rather than break the line.
//
//   out << ChangeJson(change) << '\n';
//   // {"type":"change","folder":"Contacts","store_id":"/home/ann/contacts",
//   //  "entry_id":"family/ann.vcf","path":"/home/ann/contacts/family/ann.vcf",
//   //  "name":"Ann Lee","field":"HomeTelephoneNumber","old":"555-1234","new":"777-1234"}
#pragma once

#include <cstddef>
#include <string>

#include "app/change_listing.h"
#include "app/run_index.h"

namespace tidewell::cli {

// A changed field. "path" is the item's file or URL, null where unknown (an
// item gone since its run).
std::string ChangeJson(const FieldChange& change);

// A folder of `folders` (with its ids), or one a run comes to (name only).
std::string FolderJson(const std::string& name, const std::string& entryId = "",
                       const std::string& storeId = "");

// What a run (or its preview) did, after its last change line. `text` is the
// page's summary ("Would update 3 items in 1 folder"), null when the run ended
// before it.
struct RunCounts {
  std::string text;
  bool dry_run = false;
  size_t items_changed = 0;
  size_t items_searched = 0;
  size_t folders_searched = 0;
};
std::string SummaryJson(const RunCounts& counts);

// A store of `stores`: its folder and what named it ("--store", "remembered",
// a config).
std::string StoreJson(const std::string& root, const std::string& namedBy);

// A server vdirsyncer's config names: "user" is null when the config names
// none; "password" says where it comes from, never what it is.
std::string ServerJson(const std::string& url, const std::string& config, const std::string& user,
                       const std::string& password);

// A run of the journal, as a line of `runs`.
std::string RunJson(const RunSummary& run);

// A journal time ("2026-12-07T14:30:00.123Z") as local time with its offset,
// to the second: "2026-12-07T15:30:00+01:00". A text that is no such time
// comes back as it is.
std::string LocalTime(const std::string& utc);

}  // namespace tidewell::cli
