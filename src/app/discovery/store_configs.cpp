#include "app/discovery/store_configs.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "app/discovery/config_text.h"

extern char** environ;

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using discovery::IniLine;

// A root as one config names it. `reach`: how many levels below it its
// collections lie at most (a vdirsyncer storage 1, a collection 0).
struct Named {
  std::string path;
  int reach = 0;
  std::string config;
};

std::string Get(const Environment& env, const std::string& name) {
  const auto found = env.find(name);
  return found == env.end() ? "" : found->second;
}

std::string ConfigHome(const Environment& env) {
  const std::string set = Get(env, "XDG_CONFIG_HOME");
  return set.empty() ? discovery::ExpandUser("~/.config", env) : set;
}

// pyxdg's xdg_config_dirs, which khal and todoman search in order.
std::vector<std::string> ConfigDirs(const Environment& env) {
  std::vector<std::string> dirs{ConfigHome(env)};
  std::string rest = Get(env, "XDG_CONFIG_DIRS");
  std::istringstream list(rest.empty() ? "/etc/xdg" : rest);
  for (std::string dir; std::getline(list, dir, ':');) {
    if (!dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

std::string FirstExisting(const std::vector<std::string>& candidates) {
  for (const std::string& path : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path;
  }
  return "";
}

// Calls visit(subsection, key, value) for every key of every [[subsection]]
// of [section].
template <typename Visit>
void ForEachSubsectionKey(const std::vector<IniLine>& lines, const std::string& section,
                          Visit visit) {
  bool inSection = false;
  std::string subsection;
  for (const IniLine& line : lines) {
    if (line.header) {
      if (line.depth == 1) inSection = line.name == section;
      subsection = line.depth == 2 ? line.name : "";
    } else if (inSection && !subsection.empty()) {
      visit(subsection, line.name, line.value);
    }
  }
}

std::string ExpandVarsAndUser(const std::string& path, const Environment& env) {
  return discovery::ExpandUser(discovery::ExpandVars(path, env), env);
}

void FromVdirsyncer(const Environment& env, std::vector<Named>& named) {
  const std::string config = discovery::VdirsyncerConfigPath(env);
  const std::optional<std::string> text = discovery::ReadConfigFile(config);
  if (!text) return;
  struct Storage {
    std::string type, path, fileext;
  };
  std::vector<Storage> storages;
  bool inStorage = false;
  for (const IniLine& line : discovery::ReadIniLines(*text)) {
    if (line.header) {
      inStorage = line.name.starts_with("storage ");
      if (inStorage) storages.emplace_back();
      continue;
    }
    if (!inStorage) continue;
    const std::string value = discovery::JsonString(line.value).value_or("");
    if (line.name == "type") storages.back().type = value;
    if (line.name == "path") storages.back().path = value;
    if (line.name == "fileext") storages.back().fileext = value;
  }
  for (const Storage& s : storages) {
    if (s.type != "filesystem" || s.path.empty()) continue;
    if (s.fileext != ".vcf" && s.fileext != ".ics") continue;
    // vdirsyncer expands ~ but no variables.
    named.push_back({discovery::ExpandUser(s.path, env), 1, config});
  }
}

void FromKhard(const Environment& env, std::vector<Named>& named) {
  std::string config = Get(env, "KHARD_CONFIG");
  if (config.empty()) config = ConfigHome(env) + "/khard/khard.conf";
  const std::optional<std::string> text = discovery::ReadConfigFile(config);
  if (!text) return;
  ForEachSubsectionKey(
      discovery::ReadIniLines(*text), "addressbooks",
      [&](const std::string&, const std::string& key, const std::string& value) {
        if (key != "path") return;
        named.push_back({ExpandVarsAndUser(discovery::ConfigObjValue(value), env), 0, config});
      });
}

void FromKhal(const Environment& env, std::vector<Named>& named) {
  std::vector<std::string> candidates;
  for (const std::string& dir : ConfigDirs(env)) candidates.push_back(dir + "/khal/config");
  const std::string config = FirstExisting(candidates);
  const std::optional<std::string> text =
      config.empty() ? std::nullopt : discovery::ReadConfigFile(config);
  if (!text) return;
  struct Calendar {
    std::string path, type = "calendar";
  };
  std::vector<std::pair<std::string, Calendar>> calendars;
  ForEachSubsectionKey(
      discovery::ReadIniLines(*text), "calendars",
      [&](const std::string& name, const std::string& key, const std::string& value) {
        if (calendars.empty() || calendars.back().first != name) {
          calendars.emplace_back(name, Calendar{});
        }
        if (key == "path") calendars.back().second.path = value;
        if (key == "type") calendars.back().second.type = value;
      });
  std::vector<std::string> discovered;
  for (const auto& [name, calendar] : calendars) {
    const std::string path = ExpandVarsAndUser(discovery::ConfigObjValue(calendar.path), env);
    if (path.empty()) continue;
    if (discovery::ConfigObjValue(calendar.type) != "discover") {
      named.push_back({path, 0, config});
      continue;
    }
    for (std::string& match : discovery::GlobDirectories(path)) {
      discovered.push_back(std::move(match));
    }
  }
  // khal sorts what all its discover globs found together.
  std::sort(discovered.begin(), discovered.end());
  for (const std::string& path : discovered) named.push_back({path, 0, config});
}

void FromTodoman(const Environment& env, std::vector<Named>& named) {
  std::string config = Get(env, "TODOMAN_CONFIG");
  if (config.empty()) {
    std::vector<std::string> candidates;
    for (const std::string& dir : ConfigDirs(env)) candidates.push_back(dir + "/todoman/config.py");
    config = FirstExisting(candidates);
  }
  const std::optional<std::string> text =
      config.empty() ? std::nullopt : discovery::ReadConfigFile(config);
  if (!text) return;
  const std::optional<std::string> glob = discovery::PythonStringAssignment(*text, "path");
  if (!glob || glob->empty()) return;
  for (const std::string& path : discovery::GlobDirectories(ExpandVarsAndUser(*glob, env))) {
    named.push_back({path, 0, config});
  }
}

// A group of roots kept as one: the outermost and those merged into it.
struct Group {
  std::vector<Named> members;  // members[0] is the root searched
  std::vector<std::string> configs;
};

// Whether every collection of `inner` is found by searching `outer`.
bool Covers(const Named& outer, const Named& inner) {
  const fs::path relative = fs::path(inner.path).lexically_relative(outer.path);
  if (relative.empty()) return false;
  int depth = 0;
  for (const fs::path& part : relative) {
    const std::string name = part.string();
    if (name == ".") continue;
    if (name.starts_with(".")) return false;  // "..": not under it; a hidden folder: never searched
    ++depth;
  }
  return depth + inner.reach <= 2;
}

void AddConfigs(std::vector<std::string>& to, const std::vector<std::string>& from) {
  for (const std::string& config : from) {
    if (std::find(to.begin(), to.end(), config) == to.end()) to.push_back(config);
  }
}

std::vector<FoundStore> Merge(const std::vector<Named>& named) {
  std::vector<Group> groups;
  for (Named root : named) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(root.path, ec);
    if (ec || !fs::is_directory(canonical, ec)) continue;
    root.path = canonical.string();
    auto inside = std::find_if(groups.begin(), groups.end(),
                               [&](const Group& g) { return Covers(g.members[0], root); });
    if (inside != groups.end()) {
      inside->members.push_back(root);
      AddConfigs(inside->configs, {root.config});
      continue;
    }
    Group group{{root}, {}};
    std::vector<Group> rest;
    std::optional<size_t> place;  // a new outer root takes the place of the first it swallows
    for (Group& g : groups) {
      if (std::all_of(g.members.begin(), g.members.end(),
                      [&](const Named& m) { return Covers(root, m); })) {
        if (!place) place = rest.size();
        AddConfigs(group.configs, g.configs);
        group.members.insert(group.members.end(), g.members.begin(), g.members.end());
      } else {
        rest.push_back(std::move(g));
      }
    }
    AddConfigs(group.configs, {root.config});
    const auto at = static_cast<std::ptrdiff_t>(place.value_or(rest.size()));
    rest.insert(rest.begin() + at, std::move(group));
    groups = std::move(rest);
  }
  std::vector<FoundStore> found;
  for (const Group& g : groups) found.push_back({g.members[0].path, g.configs});
  return found;
}

}  // namespace

std::string discovery::VdirsyncerConfigPath(const Environment& env) {
  std::string config = Get(env, "VDIRSYNCER_CONFIG");
  if (config.empty()) {
    config = discovery::ExpandUser("~/.vdirsyncer/config", env);
    if (FirstExisting({config}).empty()) config = ConfigHome(env) + "/vdirsyncer/config";
  }
  return config;
}

bool SyncedByVdirsyncer(const std::string& root, const Environment& env) {
  std::error_code ec;
  const fs::path folder = fs::canonical(root, ec);
  if (ec) return false;
  const std::string config = discovery::VdirsyncerConfigPath(env);
  const auto within = [](const fs::path& inner, const fs::path& outer) {
    const auto [end, _] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return end == outer.end();
  };
  for (const FoundStore& store : FindStores(env)) {
    const auto& by = store.named_by;
    if (std::find(by.begin(), by.end(), config) == by.end()) continue;
    if (within(folder, store.path) || within(store.path, folder)) return true;
  }
  return false;
}

Environment ProcessEnvironment() {
  Environment env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t eq = text.find('=');
    if (eq != std::string::npos) env.emplace(text.substr(0, eq), text.substr(eq + 1));
  }
  return env;
}

std::vector<FoundStore> FindStores(const Environment& env) {
  std::vector<Named> named;
  FromVdirsyncer(env, named);
  FromKhard(env, named);
  FromKhal(env, named);
  FromTodoman(env, named);
  return Merge(named);
}

}  // namespace tidewell
