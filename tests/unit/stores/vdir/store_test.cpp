// Stores, folders and items: what counts as one, their order and names, and
// lookups that never leave a root. Saving: nothing written without a change,
// the journal synced before the commit, another program's change never
// overwritten, and a process killed at any moment leaving every file wholly
// old or wholly new.
#include <array>
#include <chrono>
#include <random>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
// root1/empty/    nothing; root1/.git/ a.vcf   (no folders)
// root1/linked -> outside                      (a symlink: no folder)
// root1/cards/default/ k.vcf; cards/.hidden/ a.vcf; cards/via -> outside
//                                              (vdirsyncer's STORAGE/COLLECTION)
// root1/work/deeper/ z.vcf                     (below a collection: no folder)
// root1/linked/ -> outside/nested/ n.vcf       (two levels through a symlink: no folder)
// root2/work/     y.vcf                        (same entry id, another store)
class StoreLayout : public ::testing::Test {
 protected:
  StoreLayout() {
    const fs::path root1 = dir_.path() / "root1", work = root1 / "work";
    for (const auto& [path, bytes] : std::vector<std::pair<fs::path, std::string>>{
             {root1 / "r.vcf", kCard},
             {work / "displayname", "  Work Contacts \n"},
             {work / "a.vcf", kCard},
             {work / "B.vcf", kCard},
             {work / "c.ics", Calendar("VTODO")},
             {work / "d.ics", Calendar("VTIMEZONE")},
             {work / "e.eml", "Subject: x\r\n\r\nbody\r\n"},
             {work / "f.ICS", "\xEF\xBB\xBF" + Calendar("VEVENT")},
             {work / "g.ics", Calendar("VJOURNAL")},
             {work / "m.ics",
              "BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nEND:VTODO\r\nBEGIN:VEVENT\r\n"
              "BEGIN:VALARM\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"},
             {work / "n.vcf", kCard + kCard},
             {work / ".hidden.vcf", kCard},
             {work / ".a.vcf.12-0.tmp", kCard},
             {work / "h.vcf.tmp", kCard},
             {work / "notes.txt", "x"},
             {root1 / "named" / "displayname", "Named\n"},
             {root1 / ".git" / "a.vcf", kCard},
             {dir_.path() / "outside" / "secret.vcf", kCard},
             {dir_.path() / "outside" / "nested" / "n.vcf", kCard},
             {root1 / "cards" / "default" / "k.vcf", kCard},
             {root1 / "cards" / ".hidden" / "a.vcf", kCard},
             {work / "deeper" / "z.vcf", kCard},
             {dir_.path() / "root2" / "work" / "y.vcf", kCard}}) {
      WriteFile(path, bytes);
    }
    fs::create_directory(work / "sub.vcf");
    fs::create_symlink("a.vcf", work / "link.vcf");
    fs::create_symlink("../../outside/secret.vcf", work / "escape.vcf");
    fs::create_directory(root1 / "empty");
    fs::create_directory_symlink(dir_.path() / "outside", root1 / "linked");
    fs::create_directory_symlink(dir_.path() / "outside", root1 / "cards" / "via");
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

TEST_F(StoreLayout, FoldersComeByStoreThenNameAndTheDialogPicksAmongThem) {
  auto ns = store_->OutlookApplication()->GetNamespace("MAPI");
  std::vector<std::string> seen;
  for (auto& f : ns->AllFolders()) {
    seen.push_back(f->StoreID() + "|" + f->EntryID() + "|" + f->Name());
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{Root(1) + "|named|Named", Root(1) + "|work|Work Contacts",
                                      Root(1) + "|cards/default|default", Root(1) + "|.|root1",
                                      Root(2) + "|work|work"}));
  EXPECT_EQ(store_->StoreIDs(), (std::vector<std::string>{Root(1), Root(2)}));
  EXPECT_EQ(FailureOf([&] { store_->OutlookApplication()->GetNamespace("mapi"); }),
            "!There is no namespace named 'mapi'.");

  ui_.pick_folder_answer = 4;
  auto picked = ns->PickFolder();
  ASSERT_NE(picked, nullptr);
  EXPECT_EQ(picked->StoreID() + "|" + picked->EntryID(), Root(2) + "|work");
  ui_.pick_folder_answer.reset();
  EXPECT_EQ(ns->PickFolder(), nullptr);

  auto contacts = ns->GetDefaultFolder(olFolderContacts);
  EXPECT_EQ(contacts->StoreID() + "|" + contacts->EntryID(), Root(1) + "|work");
  EXPECT_EQ(FailureOf([&] { return ns->GetDefaultFolder(6)->Name(); }),
            "!The store has no default folder of type 6.");
}

TEST_F(StoreLayout, ItemsAreTheItemFilesInByteOrderWithTheirTypes) {
  auto folder = store_->YSGetFolder("work", Root(1));
  ASSERT_NE(folder, nullptr);
  auto items = folder->GetItems();
  std::vector<std::string> seen;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    seen.push_back(items->Item(i)->GetProperty("EntryID") + " " + items->Item(i)->TypeName());
  }
  // Each component is an item; a calendar file without any is taken for an
  // appointment, to fail in its procedure as a contact file without a card does.
  EXPECT_EQ(seen,
            (std::vector<std::string>{
                "work/B.vcf ContactItem", "work/a.vcf ContactItem", "work/c.ics TaskItem",
                "work/d.ics AppointmentItem", "work/e.eml MailItem", "work/f.ICS AppointmentItem",
                "work/g.ics JournalItem", "work/m.ics TaskItem", "work/m.ics#2 AppointmentItem",
                "work/n.vcf ContactItem", "work/n.vcf#2 ContactItem"}));
  EXPECT_EQ(store_->GetItemFromID("work/m.ics#2", Root(1))->TypeName(), "AppointmentItem");
  for (const char* none : {"work/m.ics#3", "work/m.ics#1", "work/m.ics#02", "work/n.vcf#"}) {
    EXPECT_EQ(store_->GetItemFromID(none, Root(1)), nullptr) << none;
  }
  EXPECT_EQ(FailureOf([&] { return items->Item(4)->GetProperty("Subject"); }),
            "!Cannot read " + Root(1) + "/work/d.ics: it holds no event, task or journal entry.");
  EXPECT_THROW(items->Item(0), Failure);
  EXPECT_THROW(items->Item(items->Count() + 1), Failure);
  EXPECT_THROW(items->Item(5)->GetProperty("Subject"), Failure);  // a mail item
}

TEST_F(StoreLayout, LookupsResolveOnlyInsideARoot) {
  const std::string outside = (dir_.path() / "outside").string();
  for (const auto& [entry_id, store_id, found] :
       std::vector<std::array<std::string, 3>>{{"work", Root(1), "1|work"},
                                               {"work", Root(2), "2|work"},
                                               {"work", "Not Found", "1|work"},
                                               {".", Root(1), "1|."},
                                               {".", Root(2), ""},
                                               {"cards/default", Root(1), "1|cards/default"}}) {
    auto folder = store_->YSGetFolder(entry_id, store_id);
    EXPECT_EQ(!folder ? "" : (folder->StoreID() == Root(1) ? "1|" : "2|") + folder->EntryID(),
              found)
        << "'" << entry_id << "' in '" << store_id << "'";
  }
  for (const std::string id :
       {"cards", "cards/.hidden", "cards/via", "linked/nested", "work/deeper", "cards//default",
        "cards/default/x", "cards/../work", "empty", ".git", "linked", "..", "../outside", "work/",
        outside.c_str(), ""}) {
    EXPECT_EQ(store_->YSGetFolder(id, Root(1)), nullptr) << "'" << id << "'";
  }
  for (const std::string id : {"work/a.vcf", "./r.vcf", "cards/default/k.vcf", "work/m.ics#2",
                               "work/n.vcf#2", "work/d.ics"}) {
    auto item = store_->GetItemFromID(id, Root(1));
    EXPECT_EQ(item ? item->GetProperty("EntryID") : "none", id);
  }
  for (const char* id :
       {"work/link.vcf", "work/escape.vcf", "linked/secret.vcf", "work/../../outside/secret.vcf",
        "../outside/secret.vcf", "work/.hidden.vcf", "work/.a.vcf.12-0.tmp", "work/notes.txt",
        "work/sub.vcf", "work/missing.vcf", ".git/a.vcf", "a.vcf", "work/y.vcf",
        "cards/via/secret.vcf", "linked/nested/n.vcf", "cards/.hidden/a.vcf", "work/deeper/z.vcf",
        "cards/default/../../r.vcf"}) {
    EXPECT_EQ(store_->GetItemFromID(id, Root(1)), nullptr) << id;
  }
  auto other = store_->GetItemFromID("work/y.vcf", "Not Found");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->GetProperty("EntryID"), "work/y.vcf");
}

// An id saved under one root finds its folder and items when the store is
// named by a root above or below it, and never anything outside the roots.
TEST_F(StoreLayout, IdsOfAnotherRootOfTheSameFolderStillResolve) {
  const std::string cards = Root(1) + "/cards";
  VdirStore inner({cards}, ui_, nullptr);
  for (const auto& [store, entry_id, store_id, found] :
       std::vector<std::tuple<MailStore*, std::string, std::string, std::string>>{
           {&inner, "cards/default", Root(1), "default"},
           {store_.get(), "default", cards, "cards/default"},
           {store_.get(), ".", Root(1) + "/work", "work"},
           {&inner, "work", Root(1), ""},
           {&inner, "..", cards + "/default", ""},
           {store_.get(), "default", dir_.path().string() + "/outside", ""}}) {
    auto folder = store->YSGetFolder(entry_id, store_id);
    EXPECT_EQ(folder ? folder->EntryID() : "", found) << entry_id << " in " << store_id;
  }
  auto item = store_->GetItemFromID("default/k.vcf", cards);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->GetProperty("EntryID"), "cards/default/k.vcf");
  EXPECT_EQ(inner.GetItemFromID("cards/default/k.vcf", Root(1))->GetProperty("EntryID"),
            "default/k.vcf");
}

TEST(Store, ARootThatDoesNotExistShowsNoFolders) {
  TempDir dir;
  ScriptedUi ui;
  VdirStore store({(dir.path() / "later").string()}, ui, nullptr);
  auto ns = store.OutlookApplication()->GetNamespace("MAPI");
  EXPECT_TRUE(ns->AllFolders().empty());
  EXPECT_EQ(store.StoreIDs()[0], fs::weakly_canonical(dir.path() / "later").string());
  EXPECT_EQ(FailureOf([&] { return ns->GetDefaultFolder(olFolderContacts)->Name(); }),
            "!No folder of the store holds contacts.");
}

std::string Card(const std::string& name) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nNOTE:n\r\nEND:VCARD\r\n";
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct stat StatOf(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

// Files come whole in one read up to a buffer's size and by their size beyond
// it; what is not a regular file is never taken for an item's text.
TEST(Read, EveryFileComesWholeAtAnySizeAndOnlyARegularFileIsRead) {
  const std::string head = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nNOTE:",
                    tail = "\r\nEND:VCARD\r\n";
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::pair<std::string, std::string>> expected;  // file -> Body or failure
  for (size_t size : {size_t{65535}, size_t{65536}, size_t{65537}, size_t{300000}}) {
    const std::string note(size - head.size() - tail.size(), 'n');
    const std::string name = std::to_string(size) + ".vcf";
    files.push_back({name, head + note + tail});
    expected.push_back({name, note});
  }
  // Listed as files, then put in their place before they are read.
  files.push_back({"dir.vcf", Card("d")});
  files.push_back({"fifo.vcf", Card("f")});
  OneFolderStore s(files);
  std::vector<std::shared_ptr<OutlookItem>> items;
  for (const auto& [name, bytes] : files) items.push_back(s.Item(name));
  fs::remove(s.File("dir.vcf"));
  fs::create_directory(s.File("dir.vcf"));
  fs::remove(s.File("fifo.vcf"));
  ASSERT_EQ(::mkfifo(s.File("fifo.vcf").c_str(), 0600), 0);
  for (const char* odd : {"dir.vcf", "fifo.vcf"}) {
    expected.push_back(
        {odd, "!Cannot read " + s.File(odd).string() + ": it is not a regular file."});
  }
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].first);
    EXPECT_EQ(FailureOf([&] { return items[i]->GetProperty("Body"); }), expected[i].second);
  }
}

// Records the item file as each Sync finds it; fails when told to.
class RecordingJournal : public WriteAheadLog {
 public:
  explicit RecordingJournal(fs::path watched) : watched_(std::move(watched)) {}
  void Sync() override {
    seen.push_back(ReadFile(watched_));
    if (fail) throw JournalNotWritten("No space left on device");
  }
  std::vector<std::string> seen;
  bool fail = false;

 private:
  fs::path watched_;
};

TEST(Save, WritesOnlyForAChangeAfterTheJournalIsSyncedKeepingNameAndMode) {
  TempDir dir;
  const fs::path file = dir.path() / "f" / "a.vcf";
  WriteFile(file, Card("Ann"));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  const struct stat before = StatOf(file);
  ScriptedUi ui;
  RecordingJournal journal(file);
  VdirStore store({dir.path().string()}, ui, &journal);
  store.GetItemFromID("f/a.vcf", "")->Save();
  auto item = store.GetItemFromID("f/a.vcf", "Not Found");
  item->GetProperty("Subject");
  item->Save();
  item->SetProperty("Subject", "Ann");
  item->SetProperty("Body", "n");
  item->Save();
  EXPECT_TRUE(journal.seen.empty());
  EXPECT_EQ(StatOf(file).st_ino, before.st_ino);
  EXPECT_EQ(StatOf(file).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(ReadFile(file), Card("Ann"));

  for (const char* name : {"Bea", "Cy"}) {
    item->SetProperty("Subject", name);
    item->Save();
  }
  EXPECT_EQ(journal.seen, (std::vector<std::string>{Card("Ann"), Card("Bea")}));
  EXPECT_EQ(ReadFile(file), Card("Cy"));
  EXPECT_EQ(StatOf(file).st_mode & 07777, 0604u);
  EXPECT_EQ(FilesIn(dir.path() / "f"), std::vector<std::string>{"a.vcf"});

  journal.fail = true;
  item->SetProperty("Subject", "Di");
  EXPECT_EQ(FailureOf([&] { item->Save(); }),
            "!The undo journal could not be written (No space left on device); the item was left "
            "as it was.");
  EXPECT_EQ(ReadFile(file), Card("Cy"));
  EXPECT_EQ(FilesIn(dir.path() / "f"), std::vector<std::string>{"a.vcf"});
}

// The mode decides, so that a file made read-only stays so for root too; any write bit allows.
TEST(Save, AFileWithoutWriteBitsRefusesEveryWriteAndStays) {
  OneFolderStore s({{"ro.vcf", kCard}, {"g.vcf", kCard}});
  fs::permissions(s.File("ro.vcf"), fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(s.File("g.vcf"), fs::perms::owner_read | fs::perms::group_write);
  auto item = s.Item("ro.vcf");
  EXPECT_EQ(item->GetProperty("Subject"), "x");
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(FailureOf([&] {
                item->SetProperty("Subject", "y");
                return item->GetProperty("Subject");
              }),
              "!The item is read-only.");
  }
  item->Save();
  EXPECT_EQ(ReadFile(s.File("ro.vcf")), kCard);

  auto writable = s.Item("g.vcf");
  writable->SetProperty("Subject", "y");
  writable->Save();
  EXPECT_EQ(ReadFile(s.File("g.vcf")), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:y\r\nEND:VCARD\r\n");
}

TEST(Save, AFileChangedSinceItWasReadIsNeverOverwritten) {
  const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> others = {
      {"rewritten longer",
       [](const fs::path& p) {
         WriteFile(p, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Annie\r\nEND:VCARD\r\n");
       }},
      {"replaced by a rename at the same size",
       [](const fs::path& p) {
         WriteFile(p.parent_path() / ".other", Card("Amy"));
         fs::rename(p.parent_path() / ".other", p);
       }},
      {"rewritten in place at the same size",
       [](const fs::path& p) {
         const int fd = ::open(p.c_str(), O_WRONLY);
         ASSERT_EQ(::pwrite(fd, "Amy", 3, 29), 3);
         const struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
         ::futimens(fd, times);
         ::close(fd);
       }},
      {"removed", [](const fs::path& p) { fs::remove(p); }}};
  for (const auto& [what, other_program] : others) {
    SCOPED_TRACE(what);
    OneFolderStore s({{"a.vcf", Card("Ann")}});
    auto item = s.Item("a.vcf");
    EXPECT_EQ(item->GetProperty("Subject"), "Ann");
    other_program(s.File("a.vcf"));
    const std::string theirs = ReadFile(s.File("a.vcf"));
    const std::vector<std::string> files = FilesIn(s.dir.path() / "f");
    item->SetProperty("Subject", "Bea");
    EXPECT_EQ(FailureOf([&] { item->Save(); }),
              "!The item was changed by another program since it was read.");
    EXPECT_EQ(ReadFile(s.File("a.vcf")), theirs);
    EXPECT_EQ(FilesIn(s.dir.path() / "f"), files);
  }
}

// "FN:vNNNN" and a long note, so that a kill often lands while a version is being written.
std::string Version(const std::string& digits) {
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:v" + digits + "\r\nNOTE:";
  for (int i = 0; i < 4000; ++i) card += std::string(64, static_cast<char>('a' + i % 26)) + "\r\n ";
  return card + "end\r\nEND:VCARD\r\n";
}

TEST(Save, AProcessKilledAtAnyMomentLeavesEveryFileWhollyOldOrWhollyNew) {
  TempDir dir;
  const std::vector<std::string> names = {"a.vcf", "b.vcf", "c.vcf"};
  const std::string old = Version("0000");
  const size_t digits = old.find("FN:v") + 4;
  for (const std::string& n : names) WriteFile(dir.path() / "f" / n, old);
  std::mt19937 random(20240301);
  int changed = 0;
  for (int round = 1; round <= 40; ++round) {
    // The child says when its first save is done, so that the kill falls
    // among saves however slow a build (a sanitizer's, say) makes them.
    int first_saved[2];
    ASSERT_EQ(::pipe(first_saved), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(first_saved[0]);
      try {
        ScriptedUi ui;
        VdirStore store({dir.path().string()}, ui, nullptr);
        for (int n = round * 100;; ++n) {
          auto item = store.GetItemFromID("f/" + names[static_cast<size_t>(n) % 3], "");
          item->SetProperty("Subject", "v" + std::to_string(1000 + n % 9000));
          item->Save();
          if (n == round * 100 && ::write(first_saved[1], "s", 1) != 1) ::_exit(4);
        }
      } catch (...) {
        ::_exit(3);
      }
    }
    ::close(first_saved[1]);
    char said = 0;
    ASSERT_EQ(::read(first_saved[0], &said, 1), 1) << "the saving process ended before a save";
    ::close(first_saved[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process stopped by itself";
    for (const std::string& n : names) {
      const std::string bytes = ReadFile(dir.path() / "f" / n);
      ASSERT_TRUE(bytes.size() == old.size() && bytes == Version(bytes.substr(digits, 4)))
          << n << " is torn after round " << round;
      changed += bytes != old;
    }
    ScriptedUi ui;
    EXPECT_EQ(
        VdirStore({dir.path().string()}, ui, nullptr).YSGetFolder("f", "")->GetItems()->Count(), 3);
  }
  EXPECT_GT(changed, 0) << "no save was seen: the test proved nothing";
}

}  // namespace
}  // namespace tidewell::testing
