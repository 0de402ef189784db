#include "platform/settings/qsettings_store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/failure.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

// QSettings reads XDG_CONFIG_HOME once per process, so it is set before any
// test runs; each test then uses an application name of its own.
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

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on
// "literal" + std::to_string(n).
std::string KeyName(const char* prefix, size_t number) {
  std::string key(prefix);
  key += std::to_string(number);
  return key;
}

TEST(QSettingsStore, TextsComeBackAsTheyWereStored) {
  const std::vector<std::string> texts = {
      "plain",
      "a, b, c",
      "\"quoted\" and 'single'",
      "key=value; x = y",
      "Müller & Søn – 東京",
      "  leading and trailing  ",
      "\ttab\t",
      "back\\slash\\",
      "line one\nline two",
      "[Section]",
      "#not a comment",
      ";not either",
      "@Variant(x)",
      "",
      "0",
      "-1",
  };
  QSettingsStore store;
  for (size_t i = 0; i < texts.size(); ++i) {
    store.SaveSetting("RoundTrip", "Tidewell", KeyName("Key", i), texts[i]);
  }
  QSettingsStore fresh;
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(fresh.GetSetting("RoundTrip", "Tidewell", KeyName("Key", i), "default"), texts[i]);
  }
}

TEST(QSettingsStore, AnAbsentKeyGivesTheDefault) {
  QSettingsStore store;
  store.SaveSetting("Absent", "Tidewell", "SearchFor", "x");
  EXPECT_EQ(store.GetSetting("Absent", "Tidewell", "ReplaceWith", "0"), "0");
  EXPECT_EQ(store.GetSetting("Absent", "Other", "SearchFor", ""), "");
  EXPECT_EQ(store.GetSetting("NoSuchApp", "Tidewell", "SearchFor", "none"), "none");
  // Keys and sections are told apart by case, as written.
  EXPECT_EQ(store.GetSetting("Absent", "Tidewell", "searchfor", "d"), "d");
  store.SaveSetting("Absent", "Tidewell", "SearchFor", "y");
  EXPECT_EQ(store.GetSetting("Absent", "Tidewell", "SearchFor", "d"), "y");
}

TEST(QSettingsStore, TwoProcessesWritingAtOnceLoseNoKey) {
  constexpr int kKeysPerProcess = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 0;
      try {
        QSettingsStore store;
        for (int i = 0; i < kKeysPerProcess; ++i) {
          store.SaveSetting("Shared", "Tidewell", KeyName(writer == 0 ? "FirstK" : "SecondK", i),
                            std::to_string(i));
        }
      } catch (...) {
        code = 1;
      }
      ::_exit(code);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  QSettingsStore store;
  int missing = 0;
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kKeysPerProcess; ++i) {
      const std::string key = KeyName(writer == 0 ? "FirstK" : "SecondK", i);
      if (store.GetSetting("Shared", "Tidewell", key, "missing") != std::to_string(i)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST(QSettingsStore, AFileThatCannotBeWrittenFails) {
  fs::create_directories(ConfigHome::folder / "Marrowby" / "Blocked.ini");
  QSettingsStore store;
  EXPECT_THROW(store.SaveSetting("Blocked", "Tidewell", "SearchFor", "x"), Failure);
}

}  // namespace
}  // namespace tidewell
