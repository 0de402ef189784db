// Temporary stores of vCard/iCalendar files for the vdir store's tests.
#pragma once

#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "stores/vdir/vdir_store.h"
#include "support/failure_of.h"
#include "support/fake_components.h"
#include "support/temp_files.h"

namespace tidewell::testing {

// A store whose one root holds the folder "f" with the given files.
struct OneFolderStore {
  explicit OneFolderStore(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [name, bytes] : files) WriteFile(File(name), bytes);
    store = std::make_unique<VdirStore>(std::vector<std::string>{dir.path().string()}, ui, nullptr);
  }
  std::shared_ptr<OutlookItem> Item(const std::string& name) {
    return store->GetItemFromID("f/" + name, store->StoreIDs()[0]);
  }
  std::filesystem::path File(const std::string& name) const { return dir.path() / "f" / name; }

  TempDir dir;
  ScriptedUi ui;
  std::unique_ptr<VdirStore> store;
};

// Sets TZ for its lifetime (a POSIX rule needs no time zone database).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace tidewell::testing
