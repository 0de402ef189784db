// A preview of the page's Replace: what a run over the applied settings
// would change, with nothing written anywhere (no item, log, lock or
// setting), as `tidewell replace --dry-run` does it.
//
//   DryRunOutcome preview = DryRunReplace(roots);
//   preview.changes;     // one FieldChange per field a run would write
//   preview.summary;     // "Would update 3 items in 1 folder"
//   preview.notes;       // "Not searched: contacts/ann.vcf: URL on line 9."
//
// The page runs as a real run does, through the change listing
// (change_listing.h) over a store that writes nothing: its own confirmation
// is answered Yes, the folders and fields are those saved. A store that
// cannot be opened throws Failure; every failure inside the run is kept in
// `failures` instead, with the item it was about.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/change_listing.h"
#include "app/store_host.h"

namespace tidewell {

// A failure the page reported during a run.
struct ItemFailure {
  std::string item;       // the entry id of the item open, "" when none was
  std::string procedure;  // "Tidewell.SearchAndReplaceContacts", ...
  std::string message;
  friend bool operator==(const ItemFailure&, const ItemFailure&) = default;
};

struct DryRunOutcome {
  std::vector<FieldChange> changes;
  std::vector<std::string> notes;  // what the store could not search
  std::vector<ItemFailure> failures;
  // The page's last caption in its progress area, worded as a preview
  // (PreviewCaption); also what it said when it refused to run.
  std::string summary;
  // Message boxes the page showed, such as why it did not run.
  std::vector<std::string> messages;
  // How many of the items it would change may make the server e-mail their
  // attendees (MailStore::MayNotifyOthers).
  size_t notifying_events = 0;
};

// What a preview needs of the host beyond the roots.
struct DryRunSetup {
  // The store options and opener of the host's own store, and the settings
  // to preview (null: those saved); write_nothing is always set.
  HostOptions host;
  // Asked for a login when the store wants one; unset: none is given.
  std::function<std::optional<Credentials>(const std::string& where, const std::string& user)>
      ask_credentials;
};

// "3 changed events have attendees; the server may e-mail them the change."
// ("1 changed event has ..."), the line a preview shows when N > 0.
std::string NotifyingEventsLine(size_t events);

// The question a run asks once before it changes such events:
// "3 events have attendees; the server may e-mail them the change. Change
// these events too?" ("1 event has ...").
std::string NotifyingEventsQuestion(size_t events);

// Counts, among the items a ChangeListing saves, those `store` says may
// notify others (each once).
class NotifyingCounter {
 public:
  explicit NotifyingCounter(const MailStore& store) : store_(store) {}
  void Attach(ChangeListing& listing);
  size_t count() const { return count_; }

 private:
  const MailStore& store_;
  std::vector<std::pair<std::string, std::string>> seen_;
  size_t count_ = 0;
};

// Previews a run over the stores `roots` with the settings saved. `stop`,
// when given, is asked before each item, as a run's stop is.
DryRunOutcome DryRunReplace(const std::vector<std::string>& roots,
                            const std::function<bool()>& stop = {}, const DryRunSetup& setup = {});

// A run's summary as a preview says it: "Updated 3 items in 1 folder"
// becomes "Would update 3 items in 1 folder"; any other caption is kept.
std::string PreviewCaption(const std::string& caption);

}  // namespace tidewell
