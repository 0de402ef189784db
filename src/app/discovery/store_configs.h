// The stores a user already has, found in the configs of the tools that keep
// them: vdirsyncer, khard, khal and todoman. Only read, never run or written.
//
//   std::vector<FoundStore> found = FindStores(ProcessEnvironment());
//   // {"/home/me/.local/share/vdirsyncer/contacts", {"/home/me/.config/vdirsyncer/config"}}
//   // {"/home/me/.calendars/work", {"/home/me/.config/khal/config"}}
//
// Where each tool looks, and what it names there ($XDG_CONFIG_HOME defaults
// to ~/.config, $XDG_CONFIG_DIRS to /etc/xdg; the first file found is the
// tool's config, as the tool itself decides):
// - vdirsyncer: $VDIRSYNCER_CONFIG, else ~/.vdirsyncer/config, else
//   $XDG_CONFIG_HOME/vdirsyncer/config. INI with JSON values; every
//   `[storage NAME]` of `type = "filesystem"` whose `fileext` is ".vcf" or
//   ".ics" names its `path` (~ expanded; vdirsyncer leaves $VARS alone). A
//   storage folder holds its collections one level down, or is one itself.
// - khard: $KHARD_CONFIG, else $XDG_CONFIG_HOME/khard/khard.conf. configobj
//   INI: every `[[NAME]]` of `[addressbooks]` names its `path`, a collection.
// - khal: $XDG_CONFIG_HOME/khal/config, else each of $XDG_CONFIG_DIRS. Every
//   `[[NAME]]` of `[calendars]` names its `path`, a collection; with
//   `type = discover` the path is a glob, and every directory it matches is a
//   collection.
// - todoman: $TODOMAN_CONFIG, else $XDG_CONFIG_HOME/todoman/config.py, else
//   each of $XDG_CONFIG_DIRS. Python that todoman runs; here its
//   `path = "GLOB"` line is read as text, and every directory the glob
//   matches is a collection. A path that is computed, not a string literal,
//   names nothing.
// khard, khal and todoman expand $VARS, then ~, as they do. A config that is
// missing or unreadable names nothing; a line that cannot be read is skipped.
//
// The tricky case: roots overlap. A vdirsyncer storage ~/.contacts and
// khard's ~/.contacts/family name the same collection twice. A store root is
// searched for collections one and two levels down, so a root that lies
// under another (on the real path, symlinks resolved, through no hidden
// folder) close enough that all its collections are found from the outer
// one is merged into it: a collection at most two levels down, a vdirsyncer
// storage at most one. The outer root then lists both configs.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tidewell {

// Names to values, as the process environment: "HOME", "XDG_CONFIG_HOME", ...
using Environment = std::map<std::string, std::string>;

// The environment of this process.
Environment ProcessEnvironment();

struct FoundStore {
  std::string path;                   // canonical absolute path of an existing directory
  std::vector<std::string> named_by;  // the config files that named it or a root merged into it
  friend bool operator==(const FoundStore&, const FoundStore&) = default;
};

// The store roots the configs name, merged, in the order first named
// (vdirsyncer, khard, khal, todoman; each in its file's order, glob matches
// sorted). Paths that are no existing directory are left out.
std::vector<FoundStore> FindStores(const Environment& env);

// Whether the store folder `root` is, lies in or holds a store vdirsyncer's
// config names, so that a change there reaches the server only at the next
// `vdirsyncer sync`. False for a URL or a folder that does not exist.
bool SyncedByVdirsyncer(const std::string& root, const Environment& env);

}  // namespace tidewell
