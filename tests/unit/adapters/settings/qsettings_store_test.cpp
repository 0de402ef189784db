#include "adapters/settings/qsettings_store.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

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

TEST(QSettingsStore, AFileThatCannotBeWrittenFails) {
  const fs::path blocked = ConfigHome::folder / "Marrowby" / "Blocked.ini";
  fs::create_directories(blocked);
  EXPECT_EQ(testing::FailureOf(
                [] { QSettingsStore().SaveSetting("Blocked", "Tidewell", "SearchFor", "x"); }),
            "!The settings file '" + blocked.string() + "' cannot be written.");
}

}  // namespace
}  // namespace tidewell
