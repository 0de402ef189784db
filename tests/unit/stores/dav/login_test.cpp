// Where a server's login comes from: the order of the sources, and the
// commands that give a password.
#include "stores/dav/login.h"

#include <gtest/gtest.h>

#include "platform/failure.h"

namespace tidewell::dav {
namespace {

const std::string kStore = "https://dav.example.org/ann/contacts/";
const std::string kOrigin = "https://dav.example.org";

TEST(PlanLogin, TakesTheOptionsThenTheConfigThenNetrc) {
  // Commands "echo WORD" give WORD; netrc has ann and bob, and for no user netrc-user.
  const LoginSources sources{
      [](const std::vector<std::string>& command, const std::string&) { return command.at(1); },
      [](std::string_view, std::string_view user) -> std::optional<NetrcLogin> {
        if (user.empty()) return NetrcLogin{"netrc-user", "any-pw"};
        if (user == "ann" || user == "bob") return NetrcLogin{std::string(user), "netrc-pw"};
        return std::nullopt;
      }};
  const KeptLogin kept{"https://DAV.example.org:443/ann", "ann", {}, {"echo", "kept-pw"}, {}, {}};
  const KeptLogin prompt{"https://dav.example.org/", "", {"echo", "bob"}, {}, "Password?", {}};
  const KeptLogin written{"https://dav.example.org/ann/contacts", "", {}, {}, {}, "written-pw"};
  const KeptLogin elsewhere{"https://dav.example.org/eve/", "eve", {}, {"echo", "eve-pw"}, {}, {}};
  struct Row {
    const char* situation;
    StoreOptions options;
    std::string origin;
    std::string want;  // user/password/known/prompt
  };
  const std::vector<Row> rows = {
      {"netrc alone", {}, kOrigin, "netrc-user/any-pw/1/"},
      {"options first", {"zoe", "", {"echo", "opt-pw"}, {kept}}, kOrigin, "zoe/opt-pw/1/"},
      {"config's user", {"", "", {"echo", "opt-pw"}, {kept}}, kOrigin, "ann/opt-pw/1/"},
      {"config, netrc", {"", "", {}, {elsewhere, kept}}, kOrigin, "ann/kept-pw/1/"},
      {"another --user", {"carl", "", {}, {kept}}, kOrigin, "carl//0/"},
      {"longest", {"", "", {}, {prompt, written, kept}}, kOrigin, "netrc-user/written-pw/1/"},
      {"prompt, no netrc", {"", "", {}, {prompt}}, kOrigin, "bob//0/Password?"},
      {"other server", {"", "", {}, {kept}}, "https://other.example", "netrc-user/any-pw/1/"},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.situation);
    const PlannedLogin got = PlanLogin(row.options, kStore, row.origin, "dav.example.org", sources);
    EXPECT_EQ(got.user + "/" + got.password + "/" + std::to_string(got.known) + "/" +
                  got.prompt.value_or(""),
              row.want);
  }
}

TEST(RunForFirstLine, KeepsTheFirstLineOrSaysWhyNot) {
  struct Row {
    std::vector<std::string> command;
    std::string want;  // the line, or the failure's text
  };
  const Row rows[] = {
      {{"printf", "%s\\r\\nsecond\\n", "p a s s"}, "p a s s"},
      {{"false"}, "The password command failed (exit status 1): false"},
      {{"printf", ""}, "The password command printed nothing: printf ''"},
      {{"sh", "-c", "kill -9 $$"},
       "The password command was ended by signal 9: sh -c 'kill -9 $$'"},
      {{"/nonexistent/pw"},
       "The password command could not be run (No such file or directory): /nonexistent/pw"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.want);
    try {
      EXPECT_EQ(RunForFirstLine(row.command, "password command"), row.want);
    } catch (const Failure& e) {
      EXPECT_EQ(e.what(), row.want);
    }
  }
}

}  // namespace
}  // namespace tidewell::dav
