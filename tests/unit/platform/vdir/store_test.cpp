// Stores, folders and items: what counts as one, their order and names, and
// lookups that must never leave a root.
#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nEND:VCARD\r\n";

std::string Calendar(const std::string& component) {
  return "BEGIN:VCALENDAR\r\nBEGIN:" + component + "\r\nSUMMARY:x\r\nEND:" + component +
         "\r\nEND:VCALENDAR\r\n";
}

// root1/          r.vcf                        (a root that holds items: folder ".")
// root1/work/     displayname, items of every kind, and things that are no items
// root1/named/    displayname only             (a folder without items)
// root1/empty/    nothing                      (no folder)
// root1/.git/     a.vcf                        (hidden: no folder)
// root1/linked -> outside                      (a symlink: no folder)
// root2/work/     y.vcf                        (same entry id, another store)
// outside/        secret.vcf
class StoreLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path root1 = dir_.path() / "root1";
    WriteFile(root1 / "r.vcf", kCard);
    WriteFile(root1 / "work" / "displayname", "  Work Contacts \n");
    WriteFile(root1 / "work" / "a.vcf", kCard);
    WriteFile(root1 / "work" / "B.vcf", kCard);
    WriteFile(root1 / "work" / "c.ics", Calendar("VTODO"));
    WriteFile(root1 / "work" / "d.ics", Calendar("VTIMEZONE"));
    WriteFile(root1 / "work" / "e.eml", "Subject: x\r\n\r\nbody\r\n");
    WriteFile(root1 / "work" / "f.ICS", "\xEF\xBB\xBF" + Calendar("VEVENT"));
    WriteFile(root1 / "work" / "g.ics", Calendar("VJOURNAL"));
    WriteFile(root1 / "work" / ".hidden.vcf", kCard);
    WriteFile(root1 / "work" / ".a.vcf.12-0.tmp", kCard);
    WriteFile(root1 / "work" / "h.vcf.tmp", kCard);
    WriteFile(root1 / "work" / "notes.txt", "x");
    fs::create_directory(root1 / "work" / "sub.vcf");
    fs::create_symlink("a.vcf", root1 / "work" / "link.vcf");
    fs::create_symlink("../../outside/secret.vcf", root1 / "work" / "escape.vcf");
    WriteFile(root1 / "named" / "displayname", "Named\n");
    fs::create_directory(root1 / "empty");
    WriteFile(root1 / ".git" / "a.vcf", kCard);
    WriteFile(dir_.path() / "outside" / "secret.vcf", kCard);
    fs::create_directory_symlink(dir_.path() / "outside", root1 / "linked");
    WriteFile(dir_.path() / "root2" / "work" / "y.vcf", kCard);
    store_ = std::make_unique<VdirStore>(
        std::vector<std::string>{root1.string() + "/", (dir_.path() / "root2").string()}, ui_,
        nullptr);
  }

  std::string Root(int n) const {
    return fs::canonical(dir_.path() / ("root" + std::to_string(n))).string();
  }

  TempDir dir_;
  ScriptedUi ui_;
  std::unique_ptr<VdirStore> store_;
};

TEST_F(StoreLayout, FoldersComeByStoreThenName) {
  auto ns = store_->OutlookApplication()->GetNamespace("MAPI");
  std::vector<std::string> seen;
  for (auto& f : ns->AllFolders()) {
    seen.push_back(f->StoreID() + "|" + f->EntryID() + "|" + f->Name());
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{Root(1) + "|named|Named", Root(1) + "|work|Work Contacts",
                                      Root(1) + "|.|root1", Root(2) + "|work|work"}));
  EXPECT_EQ(store_->StoreIDs(), (std::vector<std::string>{Root(1), Root(2)}));
  EXPECT_THROW(store_->OutlookApplication()->GetNamespace("mapi"), Failure);
}

TEST_F(StoreLayout, ItemsAreTheItemFilesInByteOrderWithTheirTypes) {
  auto folder = store_->YSGetFolder("work", Root(1));
  ASSERT_NE(folder, nullptr);
  auto items = folder->GetItems();
  std::vector<std::string> seen;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    auto item = items->Item(i);
    seen.push_back(item->GetProperty("EntryID") + " " + item->TypeName());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"work/B.vcf ContactItem", "work/a.vcf ContactItem",
                                            "work/c.ics TaskItem", "work/d.ics UnknownItem",
                                            "work/e.eml MailItem", "work/f.ICS AppointmentItem",
                                            "work/g.ics JournalItem"}));
  EXPECT_THROW(items->Item(0), Failure);
  EXPECT_THROW(items->Item(items->Count() + 1), Failure);
  EXPECT_THROW(items->Item(5)->GetProperty("Subject"), Failure);  // a mail item
}

TEST_F(StoreLayout, LookupsResolveOnlyInsideARoot) {
  struct Row {
    std::string entry_id;
    std::string store_id;
    std::string found;  // "store|entry id", or "" for no folder
  };
  std::string outside = (dir_.path() / "outside").string();
  for (const Row& row : std::vector<Row>{
           {"work", Root(1), "1|work"},
           {"work", Root(2), "2|work"},
           {"work", "Not Found", "1|work"},
           {"work", "", "1|work"},
           {".", Root(1), "1|."},
           {".", Root(2), ""},
           {"named", Root(2), ""},
           {"named", "Not Found", "1|named"},
           {"empty", Root(1), ""},
           {".git", Root(1), ""},
           {"linked", Root(1), ""},
           {"..", Root(1), ""},
           {"../outside", Root(1), ""},
           {"work/", Root(1), ""},
           {"work/../work", Root(1), ""},
           {outside, Root(1), ""},
           {outside, "Not Found", ""},
           {"", Root(1), ""},
       }) {
    auto folder = store_->YSGetFolder(row.entry_id, row.store_id);
    std::string found;
    if (folder) {
      found = (folder->StoreID() == Root(1) ? "1|" : "2|") + folder->EntryID();
    }
    EXPECT_EQ(found, row.found) << "'" << row.entry_id << "' in '" << row.store_id << "'";
  }
}

TEST_F(StoreLayout, ItemsAreFoundByTheirEntryIdAndNothingElse) {
  for (const auto& [entryId, found] : std::vector<std::pair<std::string, bool>>{
           {"work/a.vcf", true},
           {"./r.vcf", true},
           {"work/link.vcf", false},
           {"work/escape.vcf", false},
           {"linked/secret.vcf", false},
           {"work/../../outside/secret.vcf", false},
           {"../outside/secret.vcf", false},
           {"work/.hidden.vcf", false},
           {"work/.a.vcf.12-0.tmp", false},
           {"work/notes.txt", false},
           {"work/sub.vcf", false},
           {"work/missing.vcf", false},
           {".git/a.vcf", false},
           {"a.vcf", false},
       }) {
    auto item = store_->GetItemFromID(entryId, Root(1));
    EXPECT_EQ(item != nullptr, found) << entryId;
    if (item) {
      EXPECT_EQ(item->GetProperty("EntryID"), entryId);
    }
  }
  auto other = store_->GetItemFromID("work/y.vcf", "Not Found");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->GetProperty("Subject"), "x");
  EXPECT_EQ(store_->GetItemFromID("work/y.vcf", Root(1)), nullptr);
}

TEST_F(StoreLayout, TheFolderDialogAndTheDefaultContactsFolder) {
  auto ns = store_->OutlookApplication()->GetNamespace("MAPI");
  ui_.pick_folder_answer = 3;
  auto picked = ns->PickFolder();
  ASSERT_NE(picked, nullptr);
  EXPECT_EQ(picked->StoreID(), Root(2));
  ui_.pick_folder_answer.reset();
  EXPECT_EQ(ns->PickFolder(), nullptr);

  auto contacts = ns->GetDefaultFolder(olFolderContacts);
  EXPECT_EQ(contacts->EntryID(), "work");
  EXPECT_EQ(contacts->StoreID(), Root(1));
  EXPECT_THROW(ns->GetDefaultFolder(6), Failure);
}

TEST(Store, ARootThatDoesNotExistShowsNoFolders) {
  TempDir dir;
  ScriptedUi ui;
  VdirStore store({(dir.path() / "later").string()}, ui, nullptr);
  auto ns = store.OutlookApplication()->GetNamespace("MAPI");
  EXPECT_TRUE(ns->AllFolders().empty());
  EXPECT_EQ(store.StoreIDs()[0], fs::weakly_canonical(dir.path() / "later").string());
  EXPECT_THROW(ns->GetDefaultFolder(olFolderContacts), Failure);
}

}  // namespace
}  // namespace tidewell::testing
