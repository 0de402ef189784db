#include "app/discovery/server_configs.h"

#include <optional>

#include "app/discovery/config_text.h"
#include "text/shell_words.h"

namespace tidewell {

namespace {

struct Fetch {
  std::vector<std::string> command;
  std::optional<std::string> prompt;
};

Fetch ReadFetch(const std::string& raw) {
  Fetch fetch;
  std::vector<std::string> list =
      discovery::JsonStringList(raw).value_or(std::vector<std::string>{});
  if (list.size() >= 2 && list[0] == "command") {
    fetch.command.assign(list.begin() + 1, list.end());
  } else if (list.size() == 2 && list[0] == "prompt") {
    fetch.prompt = list[1];
  }
  return fetch;
}

std::string FirstLineOf(const std::vector<std::string>& command) {
  return "the command " + JoinShellWords(command);
}

}  // namespace

std::vector<FoundServer> FindServers(const Environment& env) {
  const std::string config = discovery::VdirsyncerConfigPath(env);
  const std::optional<std::string> text = discovery::ReadConfigFile(config);
  if (!text) return {};
  struct Storage {
    std::string type;
    FoundServer server;
  };
  std::vector<Storage> storages;
  bool inStorage = false;
  for (const discovery::IniLine& line : discovery::ReadIniLines(*text)) {
    if (line.header) {
      inStorage = line.name.starts_with("storage ");
      if (inStorage) storages.push_back({"", {line.name.substr(8), config, {}}});
      continue;
    }
    if (!inStorage) continue;
    KeptLogin& login = storages.back().server.login;
    const std::optional<std::string> value = discovery::JsonString(line.value);
    if (line.name == "type") storages.back().type = value.value_or("");
    if (line.name == "url") login.url = value.value_or("");
    if (line.name == "username") login.user = value.value_or("");
    if (line.name == "password" && value) login.password = value;
    if (line.name == "username.fetch") login.user_command = ReadFetch(line.value).command;
    if (line.name == "password.fetch") {
      Fetch fetch = ReadFetch(line.value);
      login.password_command = std::move(fetch.command);
      login.password_prompt = std::move(fetch.prompt);
    }
  }
  std::vector<FoundServer> found;
  for (Storage& s : storages) {
    if ((s.type == "carddav" || s.type == "caldav") && !s.server.login.url.empty()) {
      found.push_back(std::move(s.server));
    }
  }
  return found;
}

std::vector<KeptLogin> KeptLogins(const std::vector<FoundServer>& servers) {
  std::vector<KeptLogin> logins;
  for (const FoundServer& server : servers) logins.push_back(server.login);
  return logins;
}

std::string DescribeUser(const KeptLogin& login) {
  if (!login.user.empty()) return login.user;
  if (!login.user_command.empty()) return FirstLineOf(login.user_command);
  return "";
}

std::string DescribePassword(const KeptLogin& login) {
  if (!login.password_command.empty()) return FirstLineOf(login.password_command);
  if (login.password) return "written in the config";
  if (login.password_prompt) return "asked: '" + *login.password_prompt + "'";
  return "the netrc file, else asked";
}

}  // namespace tidewell
