#include "stores/vdir/folders.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/content_line.h"

namespace tidewell::vdir {
namespace {

enum class EntryType { kFile, kDirectory, kOther };

// Calls visit(name, type) for every entry but "." and ".." until it returns
// false; symlinks come back as kOther: neither items nor folders. Streams the
// directory, so a folder of any size costs no memory here.
template <typename Visit>
void ForEachEntry(int dirFd, Visit visit) {
  int copy = ::dup(dirFd);
  if (copy < 0) return;
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    ::close(copy);
    return;
  }
  ::rewinddir(dir);
  while (struct dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    unsigned char dtype = e->d_type;
    if (dtype == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        dtype = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_LNK;
      }
    }
    EntryType type = EntryType::kOther;
    if (dtype == DT_REG) type = EntryType::kFile;
    if (dtype == DT_DIR) type = EntryType::kDirectory;
    if (!visit(name, type)) break;
  }
  ::closedir(dir);
}

bool HoldsItems(int dirFd) {
  bool holds = false;
  ForEachEntry(dirFd, [&](std::string_view name, EntryType type) {
    holds = type == EntryType::kFile && IsItemName(name);
    return !holds;
  });
  return holds;
}

std::optional<std::string> ReadDisplayName(int dirFd) {
  UniqueFd fd(::openat(dirFd, "displayname", O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  char buf[4096];
  ssize_t n = ::read(fd.get(), buf, sizeof buf);
  if (n < 0) return std::nullopt;
  std::string text(buf, static_cast<size_t>(n));
  size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

std::string NameOf(int dirFd, const std::string& directoryName) {
  std::optional<std::string> display = ReadDisplayName(dirFd);
  return display && !display->empty() ? *display : directoryName;
}

// A collection: a directory that holds items or names itself in a
// `displayname` file (a calendar not yet synced holds nothing else).
bool IsCollection(int dirFd) { return ReadDisplayName(dirFd).has_value() || HoldsItems(dirFd); }

bool IsSafeName(std::string_view name) {
  return !name.empty() && name[0] != '.' &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

UniqueFd OpenDirectoryAt(int dirFd, const std::string& name) {
  return UniqueFd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return base.empty() ? path : base;
}

}  // namespace

bool IsItemName(std::string_view name) {
  if (name.size() < 4 || name[0] == '.') return false;
  // The suffix alone in lower case: a folder's names are checked one by one.
  const std::string suffix = formats::ToLower(name.substr(name.size() - 4));
  return suffix == ".vcf" || suffix == ".ics" || suffix == ".eml";
}

bool IsSafeEntryId(const std::string& entryId) {
  if (entryId == ".") return true;
  const std::string_view id = entryId;
  const size_t slash = id.find('/');
  if (slash == std::string_view::npos) return IsSafeName(id);
  return IsSafeName(id.substr(0, slash)) && IsSafeName(id.substr(slash + 1));
}

std::optional<std::pair<std::string, std::string>> SplitItemEntryId(
    const std::string& itemEntryId) {
  const size_t slash = itemEntryId.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return std::pair(itemEntryId.substr(0, slash), itemEntryId.substr(slash + 1));
}

UniqueFd OpenRoot(const std::string& root) {
  return UniqueFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd OpenFolder(int rootFd, const std::string& entryId) {
  if (!IsSafeEntryId(entryId)) return UniqueFd();
  if (entryId == ".") return UniqueFd(::dup(rootFd));
  const size_t slash = entryId.find('/');
  // O_NOFOLLOW guards only the last name of a path: a symlinked storage in
  // "STORAGE/COLLECTION" would lead out of the root, so each level is opened
  // on its own.
  UniqueFd first = OpenDirectoryAt(rootFd, entryId.substr(0, slash));
  if (slash == std::string::npos || !first.valid()) return first;
  return OpenDirectoryAt(first.get(), entryId.substr(slash + 1));
}

// Names hold no NUL, so each ends at the NUL after it.
std::string_view NameList::operator[](size_t i) const { return blob_.data() + starts_[i]; }

namespace {

// When this process began, as near as a static can tell.
const struct timespec kStarted = [] {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}();

// The pid in ".<item>.<pid>-<n>.tmp"; 0 when the name is of another form.
long CutSavePid(std::string_view name) {
  if (!name.starts_with('.') || !name.ends_with(".tmp")) return 0;
  name.remove_suffix(4);
  const size_t dash = name.rfind('-');
  if (dash == std::string_view::npos || dash + 1 == name.size()) return 0;
  const std::string_view counter = name.substr(dash + 1);
  const size_t dot = name.rfind('.', dash);
  if (dot == std::string_view::npos || dot < 2 || dot + 1 == dash) return 0;
  const std::string_view pid = name.substr(dot + 1, dash - dot - 1);
  auto digits = [](std::string_view text) {
    return text.size() < 12 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(counter) || !digits(pid)) return 0;
  return std::stol(std::string(pid));
}

}  // namespace

namespace {

// Whether `name` is a save's temporary file that a kill cut off: of the
// save's own form, last changed before this process started, of a process
// that is gone.
bool IsCutSave(int dirFd, std::string_view name) {
  const long pid = CutSavePid(name);
  if (pid <= 0 || pid == ::getpid()) return false;
  struct stat st {};
  const std::string file(name);
  if (::fstatat(dirFd, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool older = st.st_mtim.tv_sec < kStarted.tv_sec || (st.st_mtim.tv_sec == kStarted.tv_sec &&
                                                             st.st_mtim.tv_nsec < kStarted.tv_nsec);
  // A live pid may be a save going on now in another process.
  return older && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

NameList ItemNames(int dirFd, bool removeCutSaves) {
  NameList listed;
  std::vector<std::string> cut;
  ForEachEntry(dirFd, [&](std::string_view name, EntryType type) {
    if (type != EntryType::kFile) return true;
    if (IsItemName(name)) {
      if (listed.blob_.size() + name.size() < UINT32_MAX) {
        listed.starts_.push_back(static_cast<uint32_t>(listed.blob_.size()));
        listed.blob_.append(name).push_back('\0');
      }
    } else if (removeCutSaves && IsCutSave(dirFd, name)) {
      cut.emplace_back(name);
    }
    return true;
  });
  for (const std::string& file : cut) ::unlinkat(dirFd, file.c_str(), 0);
  // Each name ends in its NUL and holds none: strcmp orders them by byte
  // (as unsigned char) in one pass, without first measuring both.
  std::sort(listed.starts_.begin(), listed.starts_.end(), [&](uint32_t a, uint32_t b) {
    return std::strcmp(listed.blob_.data() + a, listed.blob_.data() + b) < 0;
  });
  return listed;
}

std::vector<FolderInfo> ListFolders(const StoreState& state, size_t store) {
  std::vector<FolderInfo> folders;
  UniqueFd root = OpenRoot(state.roots[store]);
  if (!root.valid()) return folders;
  if (HoldsItems(root.get())) {
    folders.push_back({store, ".", NameOf(root.get(), BaseName(state.roots[store]))});
  }
  ForEachEntry(root.get(), [&](std::string_view name, EntryType type) {
    if (type != EntryType::kDirectory || !IsSafeName(name)) return true;
    const std::string outer(name);
    UniqueFd dir = OpenDirectoryAt(root.get(), outer);
    if (!dir.valid()) return true;
    if (IsCollection(dir.get())) {
      folders.push_back({store, outer, NameOf(dir.get(), outer)});
      return true;
    }
    ForEachEntry(dir.get(), [&](std::string_view subName, EntryType subType) {
      if (subType != EntryType::kDirectory || !IsSafeName(subName)) return true;
      const std::string inner(subName);
      UniqueFd sub = OpenDirectoryAt(dir.get(), inner);
      if (sub.valid() && IsCollection(sub.get())) {
        folders.push_back({store, outer + "/" + inner, NameOf(sub.get(), inner)});
      }
      return true;
    });
    return true;
  });
  std::sort(folders.begin(), folders.end(), [](const FolderInfo& a, const FolderInfo& b) {
    return a.name != b.name ? a.name < b.name : a.entry_id < b.entry_id;
  });
  return folders;
}

std::optional<FolderInfo> ResolveFolder(const StoreState& state, size_t store,
                                        const std::string& entryId) {
  if (store >= state.roots.size() || !IsSafeEntryId(entryId)) return std::nullopt;
  UniqueFd root = OpenRoot(state.roots[store]);
  if (!root.valid()) return std::nullopt;
  if (entryId == ".") {
    if (!HoldsItems(root.get())) return std::nullopt;
    return FolderInfo{store, ".", NameOf(root.get(), BaseName(state.roots[store]))};
  }
  UniqueFd dir = OpenFolder(root.get(), entryId);
  if (!dir.valid() || !IsCollection(dir.get())) return std::nullopt;
  const size_t slash = entryId.find('/');
  if (slash != std::string::npos) {
    // A listing never goes below a collection; neither does a lookup.
    UniqueFd storage = OpenFolder(root.get(), entryId.substr(0, slash));
    if (!storage.valid() || IsCollection(storage.get())) return std::nullopt;
  }
  return FolderInfo{store, entryId, NameOf(dir.get(), BaseName(entryId))};
}

std::vector<size_t> StoresFor(const StoreState& state, const std::string& storeId) {
  for (size_t i = 0; i < state.roots.size(); ++i) {
    if (state.roots[i] == storeId) return {i};
  }
  std::vector<size_t> all(state.roots.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  return all;
}

std::optional<std::pair<size_t, std::string>> Relocated(const StoreState& state,
                                                        const std::string& storeId,
                                                        const std::string& entryId) {
  namespace fs = std::filesystem;
  if (!storeId.starts_with("/") || !IsSafeEntryId(entryId)) return std::nullopt;
  if (std::find(state.roots.begin(), state.roots.end(), storeId) != state.roots.end()) {
    return std::nullopt;
  }
  const fs::path folder =
      (entryId == "." ? fs::path(storeId) : fs::path(storeId) / entryId).lexically_normal();
  for (size_t store = 0; store < state.roots.size(); ++store) {
    std::string relative = folder.lexically_relative(state.roots[store]).string();
    while (relative.size() > 1 && relative.ends_with("/")) relative.pop_back();
    if (relative.empty() || relative.starts_with("..")) continue;
    if (IsSafeEntryId(relative)) return std::pair(store, relative);
  }
  return std::nullopt;
}

std::string ItemPath(const StoreState& state, size_t store, const std::string& entryId,
                     const std::string& fileName) {
  std::string root = state.roots[store];
  if (!root.ends_with("/")) root += "/";
  return entryId == "." ? root + fileName : root + entryId + "/" + fileName;
}

}  // namespace tidewell::vdir
