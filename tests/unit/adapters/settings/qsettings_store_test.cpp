#include "adapters/settings/qsettings_store.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/failure_of.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

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

// Appended: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::to_string(n).
std::string KeyName(const char* prefix, size_t number) {
  std::string key(prefix);
  return key += std::to_string(number);
}

// An empty text is a value, not an absent key; every store opens the file anew.
TEST(QSettingsStore, TextsComeBackAsStoredAndAbsentKeysGiveTheDefault) {
  const std::vector<std::string> texts = {"", "Müller – 東京\nline two", "a, b; @Variant(x)"};
  QSettingsStore store, fresh;
  for (size_t i = 0; i < texts.size(); ++i) {
    store.SaveSetting("RoundTrip", "Tidewell", KeyName("Key", i), texts[i]);
    EXPECT_EQ(fresh.GetSetting("RoundTrip", "Tidewell", KeyName("Key", i), "default"), texts[i]);
  }
  EXPECT_EQ(fresh.GetSetting("RoundTrip", "Tidewell", "Absent", "none"), "none");
  store.SaveSetting("RoundTrip", "Tidewell", "Key0", "y");
  EXPECT_EQ(fresh.GetSetting("RoundTrip", "Tidewell", "Key0", "d"), "y");
}

TEST(QSettingsStore, TwoProcessesWritingAtOnceLoseNoKey) {
  constexpr int kKeys = 150;
  const char* prefixes[] = {"FirstK", "SecondK"};
  for (const char* prefix : prefixes) {
    if (::fork() != 0) continue;
    int code = 1;
    try {
      QSettingsStore store;
      for (int i = 0; i < kKeys; ++i) {
        store.SaveSetting("Shared", "Tidewell", KeyName(prefix, i), std::to_string(i));
      }
      code = 0;
    } catch (...) {
    }
    ::_exit(code);
  }
  for (int status = 0; ::wait(&status) > 0;) EXPECT_TRUE(WIFEXITED(status) && !WEXITSTATUS(status));
  int missing = 0;
  for (const char* prefix : prefixes) {
    for (int i = 0; i < kKeys; ++i) {
      missing += QSettingsStore().GetSetting("Shared", "Tidewell", KeyName(prefix, i), "") !=
                 std::to_string(i);
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST(QSettingsStore, AFileThatCannotBeWrittenFails) {
  const fs::path blocked = ConfigHome::folder / "Marrowby" / "Blocked.ini";
  fs::create_directories(blocked);
  EXPECT_EQ(testing::FailureOf(
                [] { QSettingsStore().SaveSetting("Blocked", "Tidewell", "SearchFor", "x"); }),
            "!The settings file '" + blocked.string() + "' cannot be written.");
}

}  // namespace
}  // namespace tidewell
