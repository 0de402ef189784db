#include "app/discovery/config_text.h"

#include <fstream>
#include <sstream>

#include <glob.h>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell::discovery {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

bool IsNameChar(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
         ch == '_';
}

std::string Lookup(const Environment& env, const std::string& name) {
  const auto found = env.find(name);
  return found == env.end() ? "" : found->second;
}

}  // namespace

std::vector<IniLine> ReadIniLines(std::string_view text) {
  std::vector<IniLine> lines;
  std::istringstream in{std::string(text)};
  for (std::string raw; std::getline(in, raw);) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t depth = line.find_first_not_of('[');
      const size_t close = line.find(']', depth);
      if (depth == std::string_view::npos || close == std::string_view::npos) continue;
      lines.push_back({true, static_cast<int>(depth),
                       std::string(Trim(line.substr(depth, close - depth))), ""});
      continue;
    }
    // configparser also takes "key: value"; a ':' after the '=' is the value's.
    const size_t assign = line.find_first_of("=:");
    if (assign == std::string_view::npos || assign == 0) continue;
    lines.push_back({false, 0, std::string(Trim(line.substr(0, assign))),
                     std::string(Trim(line.substr(assign + 1)))});
  }
  return lines;
}

std::string ConfigObjValue(std::string_view raw) {
  if (!raw.empty() && (raw[0] == '"' || raw[0] == '\'')) {
    const size_t close = raw.find(raw[0], 1);
    if (close != std::string_view::npos) return std::string(raw.substr(1, close - 1));
  }
  return std::string(Trim(raw.substr(0, raw.find('#'))));
}

std::optional<std::string> JsonString(std::string_view raw) {
  const nlohmann::json value = nlohmann::json::parse(raw, nullptr, false);
  if (!value.is_string()) return std::nullopt;
  return value.get<std::string>();
}

std::optional<std::vector<std::string>> JsonStringList(std::string_view raw) {
  const nlohmann::json value = nlohmann::json::parse(raw, nullptr, false);
  if (!value.is_array()) return std::nullopt;
  std::vector<std::string> list;
  for (const nlohmann::json& item : value) {
    if (!item.is_string()) return std::nullopt;
    list.push_back(item.get<std::string>());
  }
  return list;
}

std::optional<std::string> PythonStringAssignment(std::string_view text, std::string_view name) {
  std::optional<std::string> last;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    // Only a statement of the module itself, not one inside a block.
    if (!line.starts_with(name)) continue;
    std::string_view rest = Trim(std::string_view(line).substr(name.size()));
    if (rest.empty() || rest[0] != '=' || rest.starts_with("==")) continue;
    rest = Trim(rest.substr(1));
    if (rest.size() < 2 || (rest[0] != '"' && rest[0] != '\'')) continue;
    const size_t close = rest.find(rest[0], 1);
    if (close == std::string_view::npos) continue;
    const std::string_view literal = rest.substr(1, close - 1);
    const std::string_view after = Trim(rest.substr(close + 1));
    // Escapes and concatenation would need Python to read; such a path is skipped.
    if (literal.find('\\') != std::string_view::npos || (!after.empty() && after[0] != '#')) {
      last.reset();
      continue;
    }
    last = std::string(literal);
  }
  return last;
}

std::string ExpandVars(const std::string& path, const Environment& env) {
  std::string out;
  for (size_t i = 0; i < path.size();) {
    if (path[i] != '$' || i + 1 >= path.size()) {
      out += path[i++];
      continue;
    }
    size_t begin = i + 1, end = begin;
    bool braced = path[begin] == '{';
    if (braced) {
      end = path.find('}', begin);
      if (end == std::string::npos) {
        out += path[i++];
        continue;
      }
      ++begin;
    } else {
      while (end < path.size() && IsNameChar(path[end])) ++end;
    }
    const std::string name = path.substr(begin, end - begin);
    const size_t next = braced ? end + 1 : end;
    const auto found = env.find(name);
    if (name.empty() || found == env.end()) {
      out += path.substr(i, next - i);
    } else {
      out += found->second;
    }
    i = next;
  }
  return out;
}

std::string ExpandUser(const std::string& path, const Environment& env) {
  if (!path.starts_with("~")) return path;
  const size_t slash = path.find('/');
  const std::string user =
      path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  std::string home;
  if (user.empty()) {
    home = Lookup(env, "HOME");
  }
  if (home.empty()) {
    const struct passwd* entry = user.empty() ? ::getpwuid(::getuid()) : ::getpwnam(user.c_str());
    if (entry == nullptr) return path;
    home = entry->pw_dir;
  }
  while (home.size() > 1 && home.ends_with("/")) home.pop_back();
  return home + (slash == std::string::npos ? "" : path.substr(slash));
}

std::vector<std::string> GlobDirectories(const std::string& pattern) {
  std::vector<std::string> found;
  glob_t matches{};
  if (::glob(pattern.c_str(), 0, nullptr, &matches) == 0) {
    for (size_t i = 0; i < matches.gl_pathc; ++i) {
      struct stat st {};
      if (::stat(matches.gl_pathv[i], &st) == 0 && S_ISDIR(st.st_mode)) {
        found.emplace_back(matches.gl_pathv[i]);
      }
    }
  }
  ::globfree(&matches);
  return found;
}

std::optional<std::string> ReadConfigFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

}  // namespace tidewell::discovery
