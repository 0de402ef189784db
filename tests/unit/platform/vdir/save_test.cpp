// Saving: nothing written without a change, the journal synced before the
// commit, another program's change never overwritten, and a process killed
// at any moment leaving every file wholly old or wholly new.
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nNOTE:n\r\nEND:VCARD\r\n";

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

TEST(Save, WritesNothingWhenNothingChanged) {
  OneFolderStore s({{"a.vcf", kCard}});
  struct stat before = StatOf(s.File("a.vcf"));
  s.Item("a.vcf")->Save();
  auto item = s.Item("a.vcf");
  item->GetProperty("Subject");
  item->Save();
  item->SetProperty("Subject", "Ann");
  item->SetProperty("Body", "n");
  item->Save();
  struct stat after = StatOf(s.File("a.vcf"));
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(ReadFile(s.File("a.vcf")), kCard);
}

TEST(Save, KeepsNameAndModeAndLeavesNoTemporaryFile) {
  OneFolderStore s({{"a.vcf", kCard}});
  fs::permissions(s.File("a.vcf"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  auto item = s.Item("a.vcf");
  item->SetProperty("Subject", "Bea");
  item->Save();
  item->SetProperty("Subject", "Cy");
  item->Save();
  EXPECT_EQ(ReadFile(s.File("a.vcf")),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cy\r\nNOTE:n\r\nEND:VCARD\r\n");
  EXPECT_EQ(StatOf(s.File("a.vcf")).st_mode & 07777, 0604u);
  EXPECT_EQ(FilesIn(s.dir.path() / "f"), std::vector<std::string>{"a.vcf"});
}

class RecordingJournal : public WriteAheadLog {
 public:
  explicit RecordingJournal(fs::path watched) : watched_(std::move(watched)) {}
  void Sync() override {
    seen.push_back(ReadFile(watched_));
    if (fail) throw Failure("The journal cannot be written: No space left on device.");
  }
  std::vector<std::string> seen;  // the item file as each Sync found it
  bool fail = false;

 private:
  fs::path watched_;
};

TEST(Save, SyncsTheJournalBeforeTheFileChangesAndOnlyForAChange) {
  TempDir dir;
  WriteFile(dir.path() / "f" / "a.vcf", kCard);
  ScriptedUi ui;
  RecordingJournal journal(dir.path() / "f" / "a.vcf");
  VdirStore store({dir.path().string()}, ui, &journal);
  auto item = store.GetItemFromID("f/a.vcf", "Not Found");
  item->GetProperty("Subject");
  item->Save();
  EXPECT_TRUE(journal.seen.empty());

  item->SetProperty("Subject", "Bea");
  item->Save();
  EXPECT_EQ(journal.seen, std::vector<std::string>{kCard});

  journal.fail = true;
  item->SetProperty("Subject", "Cy");
  try {
    item->Save();
    FAIL() << "saved although the journal failed";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(), (dir.path() / "f" / "a.vcf").string() +
                                   ": The journal cannot be written: No space left on device.");
  }
  EXPECT_TRUE(Contains(ReadFile(dir.path() / "f" / "a.vcf"), "\r\nFN:Bea\r\n"));
  EXPECT_EQ(FilesIn(dir.path() / "f"), std::vector<std::string>{"a.vcf"});
}

struct ConflictCase {
  std::string name;
  std::function<void(const fs::path&)> other_program;
};

class Conflicts : public ::testing::TestWithParam<ConflictCase> {};

TEST_P(Conflicts, AFileChangedSinceItWasReadIsNeverOverwritten) {
  OneFolderStore s({{"a.vcf", kCard}});
  auto item = s.Item("a.vcf");
  EXPECT_EQ(item->GetProperty("Subject"), "Ann");
  GetParam().other_program(s.File("a.vcf"));
  std::string theirs = ReadFile(s.File("a.vcf"));
  std::vector<std::string> files = FilesIn(s.dir.path() / "f");
  item->SetProperty("Subject", "Bea");
  try {
    item->Save();
    FAIL() << "overwrote another program's change";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(), "The item was changed by another program since it was read.");
  }
  EXPECT_EQ(ReadFile(s.File("a.vcf")), theirs);
  EXPECT_EQ(FilesIn(s.dir.path() / "f"), files);
}

INSTANTIATE_TEST_SUITE_P(
    Save, Conflicts,
    ::testing::Values(
        ConflictCase{"rewritten_longer",
                     [](const fs::path& p) {
                       WriteFile(p, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Annie\r\nEND:VCARD\r\n");
                     }},
        ConflictCase{"replaced_by_rename_at_the_same_size",
                     [](const fs::path& p) {
                       fs::path temp = p.parent_path() / ".other";
                       WriteFile(temp,
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Amy\r\nNOTE:n\r\nEND:VCARD\r\n");
                       fs::rename(temp, p);
                     }},
        ConflictCase{"rewritten_in_place_at_the_same_size",
                     [](const fs::path& p) {
                       int fd = ::open(p.c_str(), O_WRONLY);
                       ASSERT_GE(fd, 0);
                       ASSERT_EQ(::pwrite(fd, "Amy", 3, 29), 3);
                       struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
                       ::futimens(fd, times);
                       ::close(fd);
                     }},
        ConflictCase{"removed", [](const fs::path& p) { fs::remove(p); }}),
    [](const auto& row) { return row.param.name; });

// Each file holds "FN:vNNNN" and a long note, so that a kill often lands
// while a new version is being written.
std::string Version(int n) {
  char fn[16];
  std::snprintf(fn, sizeof fn, "FN:v%04d", n % 10000);
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n" + std::string(fn) + "\r\nNOTE:";
  for (int i = 0; i < 4000; ++i) card += std::string(64, static_cast<char>('a' + i % 26)) + "\r\n ";
  return card + "end\r\nEND:VCARD\r\n";
}

bool IsSomeVersion(const std::string& bytes) {
  const std::string zero = Version(0);
  size_t at = zero.find("FN:v") + 4;
  if (bytes.size() != zero.size()) return false;
  for (size_t i = at; i < at + 4; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') return false;
  }
  std::string normalized = bytes;
  normalized.replace(at, 4, "0000");
  return normalized == zero;
}

TEST(Save, AProcessKilledAtAnyMomentLeavesEveryFileWhollyOldOrWhollyNew) {
  TempDir dir;
  const std::vector<std::string> names = {"a.vcf", "b.vcf", "c.vcf"};
  for (const std::string& n : names) WriteFile(dir.path() / "f" / n, Version(0));
  std::mt19937 random(20240301);
  int changed = 0;
  for (int round = 1; round <= 40; ++round) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        ScriptedUi ui;
        VdirStore store({dir.path().string()}, ui, nullptr);
        for (int n = round * 100;; ++n) {
          auto item = store.GetItemFromID("f/" + names[static_cast<size_t>(n) % 3], "");
          item->SetProperty("Subject", "v" + std::to_string(1000 + n % 9000));
          item->Save();
        }
      } catch (...) {
        ::_exit(3);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process stopped by itself";

    for (const std::string& n : names) {
      std::string bytes = ReadFile(dir.path() / "f" / n);
      ASSERT_TRUE(IsSomeVersion(bytes)) << n << " is torn after round " << round;
      changed += bytes != Version(0);
    }
    ScriptedUi ui;
    VdirStore store({dir.path().string()}, ui, nullptr);
    EXPECT_EQ(store.YSGetFolder("f", "")->GetItems()->Count(), 3);
  }
  EXPECT_GT(changed, 0) << "no save ever completed: the test proved nothing";
}

}  // namespace
}  // namespace tidewell::testing
