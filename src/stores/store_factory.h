// The stores this build can open, and the one a root names. A new kind of
// store is a folder beside stores/vdir and one row of kStoreKinds in
// store_factory.cpp; the hosts and undo see only MailStore.
//
//   std::optional<std::string> root = GivenStoreRoot("~/.contacts");  // made absolute
//   std::unique_ptr<MailStore> store = OpenStore({*root}, ui, &logbook);
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/activity_logger.h"
#include "platform/mail_store.h"
#include "platform/ui.h"

namespace tidewell {

// The root that `given` (as --store has it) names, in the form its store
// keeps it; nothing when no kind of store can open it (for the vdir store: no
// folder the user may list).
std::optional<std::string> GivenStoreRoot(const std::string& given);

// The store over `roots` (given, remembered or found in the peers' configs),
// opened by the kind that owns the first root; one run's roots are of one
// kind. A root that no longer exists is not a failure: it shows no folders.
// `ui` must outlive the store; `wal` may be null, else it is synced before
// every save. A server store may throw Failure here already: it finds its
// collections when opened (a refused login, an unsafe URL, no answer).
std::unique_ptr<MailStore> OpenStore(const std::vector<std::string>& roots, Ui& ui,
                                     WriteAheadLog* wal, const StoreOptions& options = {});

}  // namespace tidewell
