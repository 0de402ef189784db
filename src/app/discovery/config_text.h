// Reading the text of the peers' configs: INI lines, quoted values, and paths
// expanded as Python's os.path does. Internal to FindStores (store_configs.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/discovery/store_configs.h"

namespace tidewell::discovery {

// One meaningful line of an INI file (configobj's or configparser's): a
// section header "[[name]]" (depth 2, name "name"), or "key = value" with the
// value as written, trimmed, still quoted. Blank and comment lines are
// dropped; a line that is neither header nor assignment too.
struct IniLine {
  bool header = false;
  int depth = 0;
  std::string name;  // the section's or the key's
  std::string value;
};
std::vector<IniLine> ReadIniLines(std::string_view text);

// A configobj value: the text inside its quotes, or the unquoted text before
// an inline "#" comment, trimmed. `"a # b"` -> "a # b"; `a # b` -> "a".
std::string ConfigObjValue(std::string_view raw);
// A JSON string value (vdirsyncer's); nullopt for anything else.
std::optional<std::string> JsonString(std::string_view raw);
// A JSON list of strings (vdirsyncer's `password.fetch`); nullopt for
// anything else, a list that holds another kind of value too.
std::optional<std::vector<std::string>> JsonStringList(std::string_view raw);
// The text of a Python `NAME = "..."` or `NAME = '...'` line at the start of
// a line, the last one in the file; nullopt when there is none or the value
// is no plain string literal.
std::optional<std::string> PythonStringAssignment(std::string_view text, std::string_view name);

// os.path.expandvars: $NAME and ${NAME} of `env`; unknown names stay.
std::string ExpandVars(const std::string& path, const Environment& env);
// os.path.expanduser: a leading "~" (HOME) or "~user" (their home).
std::string ExpandUser(const std::string& path, const Environment& env);

// The directories a shell-style glob matches, sorted; hidden names match only
// a pattern that starts with ".".
std::vector<std::string> GlobDirectories(const std::string& pattern);

// Where vdirsyncer reads its config: $VDIRSYNCER_CONFIG, else
// ~/.vdirsyncer/config when it exists, else $XDG_CONFIG_HOME/vdirsyncer/config.
std::string VdirsyncerConfigPath(const Environment& env);

// The file's text, or nullopt when it cannot be read.
std::optional<std::string> ReadConfigFile(const std::string& path);

}  // namespace tidewell::discovery
