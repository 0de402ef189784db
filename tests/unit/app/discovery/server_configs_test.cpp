// The servers and logins vdirsyncer's config names: one row per config text.
#include "app/discovery/server_configs.h"

#include <gtest/gtest.h>

#include "support/temp_files.h"
#include "text/shell_words.h"

namespace tidewell::testing {
namespace {

TEST(FindServers, ReadsEachDavStorageAndItsLogin) {
  struct Row {
    const char* situation;
    std::string config;
    // url | user | user command | password command | prompt | password | description
    std::vector<std::string> found;
  };
  const Row rows[] = {
      {"a password command, the storages that are no server left out",
       "[pair c]\na = \"local\"\n[storage local]\ntype = \"filesystem\"\npath = \"~/c\"\n"
       "[storage remote]\ntype = \"carddav\"\nurl = \"https://dav.example.org/\"\n"
       "username = \"ann\"\npassword.fetch = [\"command\", \"pass\", \"show\", \"my dav\"]\n"
       "[storage http]\ntype = \"http\"\nurl = \"https://example.org/c.ics\"\n",
       {"https://dav.example.org/|ann||pass show 'my dav'|||ann, the command pass show 'my dav'"}},
      {"a prompt, a user command, a written password; a storage without url",
       "[storage cal]\ntype = \"caldav\"\nurl = \"https://h/cal/\"\n"
       "username.fetch = [\"command\", \"cat\", \"/u\"]\n"
       "password.fetch = [\"prompt\", \"Password for cal\"]\n"
       "[storage two]\n type = \"caldav\" \nurl = \"https://h/two/\"\npassword = \"s3cret\"\n"
       "[storage none]\ntype = \"carddav\"\n",
       {"https://h/cal/||cat /u||Password for cal||the command cat /u, asked: 'Password for cal'",
        "https://h/two/|||||s3cret|, written in the config"}},
      {"a fetch that is not run here, and values that are no JSON",
       "[storage s]\ntype = \"carddav\"\nurl = \"https://h/\"\n"
       "password.fetch = [\"shell\", \"pass show dav\"]\nusername = ann\n"
       "[storage t]\ntype = caldav\nurl = \"https://t/\"\n",
       {"https://h/||||||, the netrc file, else asked"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.situation);
    TempDir home;
    WriteFile(home.path() / "vdirsyncer.conf", row.config);
    std::vector<std::string> found;
    const std::string config = (home.path() / "vdirsyncer.conf").string();
    for (const FoundServer& s : FindServers({{"VDIRSYNCER_CONFIG", config}})) {
      const KeptLogin& l = s.login;
      EXPECT_EQ(s.config, config);
      found.push_back(l.url + "|" + l.user + "|" + JoinShellWords(l.user_command) + "|" +
                      JoinShellWords(l.password_command) + "|" + l.password_prompt.value_or("") +
                      "|" + l.password.value_or("") + "|" + DescribeUser(l) + ", " +
                      DescribePassword(l));
    }
    EXPECT_EQ(found, row.found);
  }
}

}  // namespace
}  // namespace tidewell::testing
