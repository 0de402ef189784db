#include "adapters/settings/ini_settings_store.h"

#include <QLockFile>
#include <QSettings>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/failure_of.h"
#include "support/temp_files.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

// QSettings reads XDG_CONFIG_HOME once per process: it is set before any test runs.
class ConfigHome : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/settings_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
    ::setenv("XDG_CONFIG_HOME", pattern, 1);
  }
  void TearDown() override { fs::remove_all(folder); }
  static inline fs::path folder;
};

[[maybe_unused]] const auto* const kConfigHome =
    ::testing::AddGlobalTestEnvironment(new ConfigHome);

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct Setting {
  std::string section, key, value;
  QString QtKey() const { return Q(section) + '/' + Q(key); }
};

// In no sorted order, so that the files also show the order of keys and sections.
const std::vector<Setting> kSettings = {
    {"Tidewell", "Empty", ""},
    {"Tidewell", "Blanks", "  at both ends "},
    {"Tidewell", "Separators", "a;b, c=d"},
    {"Tidewell", "Quotes", "say \"hi\" 'there'"},
    {"Tidewell", "Backslashes", "C:\\dir\\x41\\"},
    {"Tidewell", "Lines", "one\ntwo\r\nthree\tfour"},
    {"Tidewell", "Controls", std::string("\0017f\037b\177\00012", 10)},
    {"Tidewell", "Unicode", "Müller – 東京 🙂"},
    {"Tidewell", "At", "@Variant(x)"},
    {"Tidewell", "AtAt", "@@x"},
    {"Tidewell", "Invalid", "@Invalid()"},
    {"Tidewell", "Hash", "#no comment"},
    {"Tidewell", "a path/with spaces", "slash"},
    {"Tidewell", "Schlüssel 東", "non-ASCII key"},
    {"General", "Key", "a group named General"},
    {"", "TopLevel", "no group"},
    {"Grüße & 100%", "b", "odd group"},
    {"Grüße & 100%", "B", "case"},
};

// Written by each, read by the other; QSettings' own file comes out byte
// for byte, and a save by ours rewrites QSettings' values of other types
// as QSettings wrote them.
TEST(IniSettingsStore, ReadsAndWritesTheFilesOfQSettings) {
  IniSettingsStore ours;
  for (const Setting& s : kSettings) ours.SaveSetting("Ours", s.section, s.key, s.value);
  {
    QSettings theirs(QSettings::IniFormat, QSettings::UserScope, "Marrowby", "Theirs");
    EXPECT_EQ(theirs.fileName().toStdString(), IniSettingsStore::FilePath("Theirs"));
    for (const Setting& s : kSettings) theirs.setValue(s.QtKey(), Q(s.value));
    theirs.sync();
  }
  EXPECT_EQ(ReadFile(IniSettingsStore::FilePath("Ours")),
            ReadFile(IniSettingsStore::FilePath("Theirs")));
  QSettings read_ours(QSettings::IniFormat, QSettings::UserScope, "Marrowby", "Ours");
  for (const Setting& s : kSettings) {
    SCOPED_TRACE(s.key);
    EXPECT_EQ(read_ours.value(s.QtKey()).toString().toStdString(), s.value);
    EXPECT_EQ(ours.GetSetting("Theirs", s.section, s.key, "absent"), s.value);
  }
  EXPECT_EQ(ours.Keys("Ours", "Grüße & 100%"), (std::vector<std::string>{"B", "b"}));

  const std::vector<std::pair<QString, QVariant>> others = {{"List", QStringList{"a", " b"}},
                                                            {"Nothing", QVariant()},
                                                            {"Number", 42},
                                                            {"Bytes", QByteArray("b\xc3\xbc\x01")},
                                                            {"One", QStringList{"x"}}};
  {
    QSettings theirs(QSettings::IniFormat, QSettings::UserScope, "Marrowby", "Theirs");
    for (const auto& [key, value] : others) theirs.setValue("Other/" + key, value);
  }
  const std::string before = ReadFile(IniSettingsStore::FilePath("Theirs"));
  ours.SaveSetting("Theirs", "Tidewell", "Empty", "");
  EXPECT_EQ(ReadFile(IniSettingsStore::FilePath("Theirs")), before);
  QSettings read_theirs(QSettings::IniFormat, QSettings::UserScope, "Marrowby", "Theirs");
  for (const auto& [key, value] : others) {
    const QVariant read = read_theirs.value("Other/" + key);
    EXPECT_EQ(ours.GetSetting("Theirs", "Other", key.toStdString(), "absent"),
              read.isValid() ? read.toString().toStdString() : "absent")
        << key.toStdString();
  }
}

TEST(IniSettingsStore, FailsAsQSettingsDoes) {
  const fs::path marrowby = ConfigHome::folder / "Marrowby";
  fs::create_directories(marrowby / "Folder.ini");
  std::ofstream(marrowby / "File") << "";
  std::ofstream(marrowby / "Broken.ini") << "[Tidewell\nSearchFor=x\n";
  std::ofstream(marrowby / "Stray.ini") << "[Tidewell]\nSearchFor=x\nno equals sign\n";
  const std::string cannot = "' cannot be written.", not_settings = "' is not a settings file.";
  struct Case {
    std::string app, save, get;
  };
  for (const Case& c : std::vector<Case>{{"Folder", cannot, cannot},
                                         {"File/Below", cannot, ""},
                                         {"Broken", not_settings, not_settings},
                                         {"Stray", not_settings, ""}}) {
    const std::string path = IniSettingsStore::FilePath(c.app), before = ReadFile(path);
    const std::string prefix = "!The settings file '" + path;
    EXPECT_EQ(
        testing::FailureOf([&] { IniSettingsStore().SaveSetting(c.app, "Tidewell", "K", "v"); }),
        prefix + c.save);
    EXPECT_EQ(ReadFile(path), before) << c.app;
    const std::string got = testing::FailureOf(
        [&] { return IniSettingsStore().GetSetting(c.app, "Tidewell", "SearchFor", "none"); });
    EXPECT_EQ(got, c.get.empty() ? (before.empty() ? "none" : "x") : prefix + c.get);
  }
}

// A save waits for QSettings' lock, and takes over the lock of a process that is gone.
TEST(IniSettingsStore, SavesUnderTheLockOfQSettings) {
  const std::string path = IniSettingsStore::FilePath("Locked");
  fs::create_directories(fs::path(path).parent_path());
  QLockFile held(Q(path + ".lock"));
  ASSERT_TRUE(held.lock());
  std::thread saver([] { IniSettingsStore().SaveSetting("Locked", "Tidewell", "K", "v"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(IniSettingsStore().GetSetting("Locked", "Tidewell", "K", "waiting"), "waiting");
  held.unlock();
  saver.join();
  EXPECT_EQ(IniSettingsStore().GetSetting("Locked", "Tidewell", "K", "waiting"), "v");

  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  std::ofstream(path + ".lock") << gone << "\nunit_adapters_settings\n\n";
  IniSettingsStore().SaveSetting("Locked", "Tidewell", "K", "w");
  EXPECT_EQ(IniSettingsStore().GetSetting("Locked", "Tidewell", "K", ""), "w");
  EXPECT_FALSE(fs::exists(path + ".lock"));
}

}  // namespace
}  // namespace tidewell
