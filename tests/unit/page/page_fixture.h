// A page over fakes: an in-memory store behind a recording host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page/uc1.h"
#include "support/fake_components.h"
#include "support/fake_store.h"

namespace tidewell::testing {

// Everything a test of the page touches; tables make a fresh one per row.
struct PageOverFakes {
  // Stores folder slot `n` as the page's Apply would.
  void PutSlot(int n, const std::string& name, const std::string& entryId,
               const std::string& storeId) {
    const std::string slot = std::to_string(n);
    components.settings.Put("FolderName" + slot, name);
    components.settings.Put("FolderEntryId" + slot, entryId);
    components.settings.Put("FolderStoreId" + slot, storeId);
  }

  // The error reports as "procedure|message"; a report with the flag set
  // shows it, so a wrong flag fails the comparison too.
  std::vector<std::string> Reports() const {
    std::vector<std::string> out;
    for (const ErrorReport& r : components.support.reports) {
      out.push_back(r.procedure + "|" + r.message + (r.flag ? "|flag set" : ""));
    }
    return out;
  }

  void ShowWithHost() {
    page.SetHost(host);
    page.Show();
  }

  FakeComponents components;
  std::shared_ptr<FakeStore> store = std::make_shared<FakeStore>();
  std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>(store);
  UC1 page{components};
};

class PageTest : public ::testing::Test, public PageOverFakes {};

}  // namespace tidewell::testing
