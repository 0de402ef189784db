// Temporary stores of vCard/iCalendar files for the vdir store's tests.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vdir/vdir_store.h"
#include "support/fake_components.h"

namespace tidewell::testing {

// A fresh directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// "a\nb" with every "\n" written as `newline`.
std::string Lines(const std::string& text, const std::string& newline = "\r\n");

// A store whose one root holds the folder "f" with the given files.
struct OneFolderStore {
  explicit OneFolderStore(const std::vector<std::pair<std::string, std::string>>& files);
  std::shared_ptr<OutlookItem> Item(const std::string& fileName);
  std::filesystem::path File(const std::string& fileName) const {
    return dir.path() / "f" / fileName;
  }

  TempDir dir;
  ScriptedUi ui;
  std::unique_ptr<VdirStore> store;
};

// Sets TZ for its lifetime (a POSIX rule needs no time zone database).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

// Succeeds when `text` holds `part`; shows `text` otherwise.
::testing::AssertionResult Contains(const std::string& text, const std::string& part);

// Runs `command` with /bin/sh; gives its exit status and standard output.
struct CommandResult {
  int status;
  std::string output;
};
CommandResult RunShell(const std::string& command);

// The logical lines of a vCard/iCalendar text by a deliberately simple
// reading (unfold, join quoted-printable soft breaks), each with the exact
// bytes it spans: an independent reference for "only these lines changed".
struct RawLogicalLine {
  std::string name;  // upper case, group removed
  std::string raw;   // physical bytes, terminators included
};
std::vector<RawLogicalLine> RawLogicalLines(const std::string& bytes);

}  // namespace tidewell::testing
