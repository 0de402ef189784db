// The stores named by the peers' configs, read in a fake home: one row per
// situation, each a set of config files and folders and the roots expected.
#include "app/discovery/store_configs.h"

#include <gtest/gtest.h>

#include "support/temp_files.h"

namespace tidewell::testing {
namespace {

namespace fs = std::filesystem;

struct Row {
  const char* situation;
  std::vector<std::pair<std::string, std::string>> files;  // below the home; "" content: a folder
  Environment env;                                         // "~" in a value: the home
  std::vector<std::pair<std::string, std::vector<std::string>>> expected;  // "~": the home
  std::vector<std::pair<std::string, std::string>> links = {};  // symlink below the home -> target
};

// Only filesystem storages of contacts and calendars are stores.
const char* kVdirsyncer = R"([pair contacts]
a = "contacts_local"
[storage contacts_local]
type = "filesystem"
path = "~/sync/contacts/"
fileext = ".vcf"
[storage contacts_remote]
type = "carddav"
url = "https://dav.example.org/"
[storage notes]
type = "filesystem"
path = "~/sync/notes"
fileext = ".txt"
)";

const std::vector<Row> kRows = {
    {"khard's address books and khal's calendars, each a collection",
     {{".config/khard/khard.conf",
       "[general]\ndebug = no\n[addressbooks]\n[[family]]\n"
       "path = ~/.contacts/family/\n[[friends]]\n"
       "path = \"$HOME/.contacts/friends\"  # quoted\n"},
      {".config/khal/config",
       "[calendars]\n  [[home]]\n  path = ~/.calendars/home # mine\n"
       "  color = dark green\n  [[work]]\n"
       "  path = ${HOME}/.calendars/work\n  type = calendar\n"
       "[locale]\ntimeformat = %H:%M\n"},
      {".contacts/family/a.vcf", "BEGIN:VCARD\r\n"},
      {".contacts/friends", ""},
      {".calendars/home", ""},
      {".calendars/work", ""}},
     {},
     {{"~/.contacts/family", {"~/.config/khard/khard.conf"}},
      {"~/.contacts/friends", {"~/.config/khard/khard.conf"}},
      {"~/.calendars/home", {"~/.config/khal/config"}},
      {"~/.calendars/work", {"~/.config/khal/config"}}}},

    {"a vdirsyncer storage takes in the collections two levels down that others name",
     {{".config/vdirsyncer/config", kVdirsyncer},
      {".config/khard/khard.conf", "[addressbooks]\n[[default]]\npath = ~/sync/contacts/default\n"},
      {".config/khal/config",
       "[calendars]\n[[b]]\npath = ~/sync/contacts/default/birthdays\n"
       "type = birthdays\n"},
      {"sync/contacts/default/birthdays", ""},
      {"sync/notes", ""}},
     {},
     {{"~/sync/contacts",
       {"~/.config/vdirsyncer/config", "~/.config/khard/khard.conf", "~/.config/khal/config"}}}},

    {"globs: discovered calendars sorted, and a later outer root takes the inner one's place",
     {{"etc/khal/config",
       "[calendars]\n[[all]]\npath = ~/accounts/*/calendars/*\n"
       "type = discover\n[[one]]\npath = ~/tasks/list/sub\n"},
      {".config/todoman/config.py",
       "import os\ndate_format = \"%Y-%m-%d\"\n"
       "path = '~/tasks/*'  # every list\n"},
      {"accounts/b/calendars/x", ""},
      {"accounts/a/calendars/y", ""},
      {"accounts/a/calendars/file.ics", "BEGIN:VCALENDAR\r\n"},
      {"tasks/list/sub", ""}},
     {},
     {{"~/tasks/list", {"~/etc/khal/config", "~/.config/todoman/config.py"}},
      {"~/accounts/a/calendars/y", {"~/etc/khal/config"}},
      {"~/accounts/b/calendars/x", {"~/etc/khal/config"}}}},

    {"each tool's own config wins: ~/.vdirsyncer, $KHARD_CONFIG, $TODOMAN_CONFIG",
     {{".vdirsyncer/config",
       "[storage a]\ntype = \"filesystem\"\npath = \"~/v1\"\n"
       "fileext = \".ics\"\n"},
      {".config/vdirsyncer/config",
       "[storage a]\ntype = \"filesystem\"\npath = \"~/v2\"\n"
       "fileext = \".ics\"\n"},
      {"alt/khard.conf", "[addressbooks]\n[[k]]\npath = ~/k\n"},
      {".config/khard/khard.conf", "[addressbooks]\n[[k]]\npath = ~/k2\n"},
      {"alt/todo.py", "import os\npath = os.path.expanduser('~/t')\n"},
      {".config/todoman/config.py", "path = \"~/t2\"\n"},
      {"v1", ""},
      {"v2", ""},
      {"k", ""},
      {"k2", ""},
      {"t", ""},
      {"t2", ""}},
     {{"XDG_CONFIG_HOME", ""},
      {"KHARD_CONFIG", "~/alt/khard.conf"},
      {"TODOMAN_CONFIG", "~/alt/todo.py"}},
     {{"~/v1", {"~/.vdirsyncer/config"}}, {"~/k", {"~/alt/khard.conf"}}}},

    {"roots out of reach stay apart; missing ones are dropped; a symlink is its target",
     {{"elsewhere/vdirsyncer.conf",
       "[storage s]\ntype = \"filesystem\"\npath = \"~/sync\"\n"
       "fileext = \".vcf\"\n"
       "[storage deep]\ntype = \"filesystem\"\n"
       "path = \"~/sync/x/y\"\nfileext = \".vcf\"\n"},
      {".config/khard/khard.conf",
       "[addressbooks]\n[[hidden]]\npath = ~/sync/.hidden/c\n"
       "[[missing]]\npath = ~/missing\n[[linked]]\npath = ~/link\n"},
      {".config/khal/config", "[calendars]\n[[deep]]\npath = ~/sync/a/b/c\n"},
      {"sync/.hidden/c", ""},
      {"sync/a/b/c", ""},
      {"sync/x/y", ""},
      {"sync/col", ""}},
     {{"VDIRSYNCER_CONFIG", "~/elsewhere/vdirsyncer.conf"}},
     {{"~/sync", {"~/elsewhere/vdirsyncer.conf", "~/.config/khard/khard.conf"}},
      {"~/sync/x/y", {"~/elsewhere/vdirsyncer.conf"}},
      {"~/sync/.hidden/c", {"~/.config/khard/khard.conf"}},
      {"~/sync/a/b/c", {"~/.config/khal/config"}}},
     {{"link", "sync/col"}}},
};

std::string AtHome(const std::string& text, const std::string& home) {
  return text.starts_with("~") ? home + text.substr(1) : text;
}

TEST(FindStores, ReadsThePeersConfigsAsTheyDo) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.situation);
    TempDir dir;
    const std::string home = fs::canonical(dir.path()).string();
    for (const auto& [path, content] : row.files) {
      if (content.empty()) {
        fs::create_directories(home + "/" + path);
      } else {
        WriteFile(home + "/" + path, content);
      }
    }
    for (const auto& [link, target] : row.links) {
      fs::create_directory_symlink(home + "/" + target, home + "/" + link);
    }
    Environment env{
        {"HOME", home}, {"XDG_CONFIG_HOME", home + "/.config"}, {"XDG_CONFIG_DIRS", home + "/etc"}};
    for (const auto& [name, value] : row.env) env[name] = AtHome(value, home);

    std::vector<FoundStore> expected;
    for (const auto& [path, configs] : row.expected) {
      FoundStore store{AtHome(path, home), {}};
      for (const std::string& config : configs) store.named_by.push_back(AtHome(config, home));
      expected.push_back(store);
    }
    const std::vector<FoundStore> found = FindStores(env);
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].path, expected[i].path);
      EXPECT_EQ(found[i].named_by, expected[i].named_by) << found[i].path;
    }
  }
}

}  // namespace
}  // namespace tidewell::testing
