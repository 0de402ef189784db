#include "stores/vdir/vdir_store.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/store_folders.h"
#include "platform/failure.h"
#include "stores/vdir/folders.h"
#include "stores/vdir/read_ahead.h"
#include "stores/vdir/vdir_item.h"

namespace tidewell {
namespace vdir {
namespace {

// FallbackTypeName's three answers, told without a lower-case copy of each
// name.
enum { kContact, kCalendar, kMail };
constexpr const char* kFallbacks[] = {"ContactItem", "AppointmentItem", "MailItem"};

int FileKind(std::string_view name) {
  if (name.size() < 4 || name[name.size() - 4] != '.') return kMail;
  char suffix[3];
  for (int i = 0; i < 3; ++i) {
    const char c = name[name.size() - 3 + static_cast<size_t>(i)];
    suffix[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (std::string_view(suffix, 3) == "vcf") return kContact;
  if (std::string_view(suffix, 3) == "ics") return kCalendar;
  return kMail;
}

class VdirItems : public Items {
 public:
  VdirItems(std::shared_ptr<const StoreState> state, std::shared_ptr<const UniqueFd> dir,
            FolderInfo folder, NameList names)
      : state_(std::move(state)),
        dir_(std::move(dir)),
        folder_(std::move(folder)),
        names_(std::move(names)) {}

  int32_t Count() override {
    List();
    return entries_.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(entries_.size());
  }

  std::shared_ptr<OutlookItem> Item(int32_t index) override {
    if (index < 1 || index > Count()) {
      throw Failure("The folder " + folder_.name + " has no item " + std::to_string(index) + ".");
    }
    const Entry& entry = entries_[static_cast<size_t>(index - 1)];
    // A file of one component shares nothing: its item alone holds what it
    // reads and saves, and that goes with the item.
    std::shared_ptr<FileShare> share;
    if (const auto kept = shares_.find(entry.file); kept != shares_.end()) {
      share = kept->second;
      if (entry.ordinal >= entry.components) shares_.erase(kept);
    } else {
      share = std::make_shared<FileShare>();
      if (entry.ordinal < entry.components) shares_.emplace(entry.file, share);
    }
    if (!share->pending && !share->saved) {
      if (!read_again_) {
        read_again_ =
            listing_ ? std::move(listing_) : std::make_unique<ReadAhead>(dir_->get(), names_);
      }
      if (std::optional<std::string> bytes = read_again_->Take(entry.file)) {
        share->pending = std::move(bytes);
      }
    }
    auto item = std::make_shared<VdirItem>(state_, dir_, folder_.store, folder_.entry_id,
                                           std::string(names_[entry.file]), entry.ordinal,
                                           entry.components, types_[entry.type], std::move(share));
    item->TellUnsearched();
    return item;
  }

 private:
  // 16 bytes a component: a folder of a hundred thousand files lists in a
  // few MiB.
  struct Entry {
    uint32_t file;
    uint32_t ordinal;
    uint32_t components;
    uint32_t type;  // in types_
  };

  uint32_t TypeIndex(const std::string& type) {
    const auto known = std::find(types_.begin(), types_.end(), type);
    if (known != types_.end()) return static_cast<uint32_t>(known - types_.begin());
    types_.push_back(type);
    return static_cast<uint32_t>(types_.size() - 1);
  }

  // Every component of every file, in file order: each file is read (ahead,
  // a batch at a time) and scanned for its components once.
  void List() {
    if (listed_) return;
    listed_ = true;
    listing_ = std::make_unique<ReadAhead>(dir_->get(), names_);
    entries_.reserve(names_.size());
    // The files' type names, each looked up in types_ once a folder rather
    // than once a file.
    std::optional<uint32_t> alone[3];
    for (size_t file = 0; file < names_.size(); ++file) {
      const std::string_view name = names_[file];
      const int kind = FileKind(name);
      const char* const fallback = kFallbacks[kind];
      std::vector<std::string> types;
      if (kind != kMail) {
        // Scanned where it was read; the items read the files again, a
        // batch at a time, so a large folder costs no more memory than a
        // small one.
        if (std::optional<std::string_view> bytes = listing_->View(file)) {
          types = formats::ScanItemTypes(*bytes, kind == kContact);
        } else {
          try {
            types = formats::ScanItemTypes(ReadItemFile(dir_->get(), std::string(name)),
                                           kind == kContact);
          } catch (const Failure&) {
            // Left for the item to read, and fail, in its procedure.
          }
        }
      }
      if (types.size() <= 1 && (types.empty() || types[0] == fallback)) {
        if (!alone[kind]) alone[kind] = TypeIndex(fallback);
        entries_.push_back({static_cast<uint32_t>(file), 1, 1, *alone[kind]});
        continue;
      }
      const auto components = static_cast<uint32_t>(std::min<size_t>(types.size(), UINT32_MAX));
      for (uint32_t n = 0; n < components; ++n) {
        entries_.push_back({static_cast<uint32_t>(file), n + 1, components, TypeIndex(types[n])});
      }
    }
  }

  std::shared_ptr<const StoreState> state_;
  std::shared_ptr<const UniqueFd> dir_;
  FolderInfo folder_;
  NameList names_;
  bool listed_ = false;
  std::vector<Entry> entries_;
  std::vector<std::string> types_;
  // The files of several components while their items are handed out, for
  // their siblings.
  std::unordered_map<uint32_t, std::shared_ptr<FileShare>> shares_;
  // The listing's read-ahead, kept to read the files again: its buffers are
  // touched already.
  std::unique_ptr<ReadAhead> listing_;
  std::unique_ptr<ReadAhead> read_again_;
};

class VdirFolder : public MAPIFolder {
 public:
  VdirFolder(std::shared_ptr<const StoreState> state, FolderInfo info)
      : state_(std::move(state)), info_(std::move(info)) {}

  std::string EntryID() override { return info_.entry_id; }
  std::string StoreID() override { return state_->roots[info_.store]; }
  std::string Name() override { return info_.name; }

  std::unique_ptr<Items> GetItems() override {
    UniqueFd root = OpenRoot(state_->roots[info_.store]);
    auto dir = std::make_shared<UniqueFd>(root.valid() ? OpenFolder(root.get(), info_.entry_id)
                                                       : UniqueFd());
    if (!dir->valid()) {
      throw Failure("The folder " + info_.name + " (" + state_->roots[info_.store] + "/" +
                    info_.entry_id + ") cannot be opened.");
    }
    state_->ui->CurrentItem("");
    // A run going over the folder: the place to clear what cut-off saves of
    // earlier runs left behind (never in a preview, which writes nothing).
    NameList names = ItemNames(dir->get(), !state_->writes_nothing);
    return std::make_unique<VdirItems>(state_, std::move(dir), info_, std::move(names));
  }

 private:
  std::shared_ptr<const StoreState> state_;
  FolderInfo info_;
};

std::vector<FolderInfo> EveryFolder(const StoreState& state) {
  std::vector<FolderInfo> all;
  for (size_t s = 0; s < state.roots.size(); ++s) {
    std::vector<FolderInfo> folders = ListFolders(state, s);
    all.insert(all.end(), folders.begin(), folders.end());
  }
  return all;
}

class VdirNameSpace : public NameSpace {
 public:
  explicit VdirNameSpace(std::shared_ptr<const StoreState> state) : state_(std::move(state)) {}

  std::unique_ptr<MAPIFolder> PickFolder() override {
    const std::vector<FolderInfo> folders = EveryFolder(*state_);
    const std::optional<size_t> chosen =
        formats::PickFolderIndex(*state_->ui, folders, state_->roots);
    if (!chosen) return nullptr;
    return std::make_unique<VdirFolder>(state_, folders[*chosen]);
  }

  std::unique_ptr<MAPIFolder> GetDefaultFolder(int32_t folderType) override {
    const auto every = [&] { return EveryFolder(*state_); };
    const auto holds = [&](const FolderInfo& f) { return HoldsContacts(f); };
    return std::make_unique<VdirFolder>(state_,
                                        formats::DefaultContactsFolder(folderType, every, holds));
  }

  std::vector<std::unique_ptr<MAPIFolder>> AllFolders() override {
    std::vector<std::unique_ptr<MAPIFolder>> out;
    for (FolderInfo& f : EveryFolder(*state_)) {
      out.push_back(std::make_unique<VdirFolder>(state_, std::move(f)));
    }
    return out;
  }

 private:
  // Whether the folder holds a vCard file.
  bool HoldsContacts(const FolderInfo& f) const {
    UniqueFd root = OpenRoot(state_->roots[f.store]);
    UniqueFd dir = root.valid() ? OpenFolder(root.get(), f.entry_id) : UniqueFd();
    if (!dir.valid()) return false;
    const NameList names = ItemNames(dir.get());
    for (size_t i = 0; i < names.size(); ++i) {
      if (formats::ToLower(names[i]).ends_with(".vcf")) return true;
    }
    return false;
  }

  std::shared_ptr<const StoreState> state_;
};

class VdirApplication : public Application {
 public:
  explicit VdirApplication(std::shared_ptr<const StoreState> state) : state_(std::move(state)) {}

  std::unique_ptr<NameSpace> GetNamespace(const std::string& type) override {
    if (type != "MAPI") throw Failure("There is no namespace named '" + type + "'.");
    return std::make_unique<VdirNameSpace>(state_);
  }

 private:
  std::shared_ptr<const StoreState> state_;
};

std::string CanonicalRoot(const std::string& root) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path absolute = fs::absolute(root, ec);
  if (ec) absolute = fs::path(root);
  fs::path canonical = fs::weakly_canonical(absolute, ec);
  if (ec) canonical = absolute.lexically_normal();
  std::string text = canonical.string();
  while (text.size() > 1 && text.ends_with("/")) text.pop_back();
  return text;
}

}  // namespace
}  // namespace vdir

VdirStore::VdirStore(const std::vector<std::string>& roots, Ui& ui, WriteAheadLog* wal)
    : state_(std::make_shared<vdir::StoreState>()) {
  for (const std::string& root : roots) state_->roots.push_back(vdir::CanonicalRoot(root));
  state_->ui = &ui;
  state_->wal = wal;
}

VdirStore::~VdirStore() = default;

std::optional<std::string> VdirRoot(const std::string& given) {
  std::error_code ec;
  if (given.empty() || !std::filesystem::is_directory(given, ec) ||
      ::access(given.c_str(), R_OK | X_OK) != 0) {
    return std::nullopt;
  }
  std::filesystem::path root = std::filesystem::absolute(given).lexically_normal();
  if (!root.has_filename()) root = root.parent_path();
  return root.string();
}

std::optional<double> VdirStore::LastWritten(const std::string& itemEntryId,
                                             const std::string& storeId) const {
  struct stat st {};
  const std::string path = storeId + "/" + itemEntryId;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9;
}

void VdirStore::WriteNothing() { state_->writes_nothing = true; }

std::shared_ptr<Application> VdirStore::OutlookApplication() const {
  return std::make_shared<vdir::VdirApplication>(state_);
}

std::unique_ptr<MAPIFolder> VdirStore::YSGetFolder(const std::string& entryId,
                                                   const std::string& storeId) {
  if (auto moved = vdir::Relocated(*state_, storeId, entryId)) {
    if (auto f = vdir::ResolveFolder(*state_, moved->first, moved->second)) {
      return std::make_unique<vdir::VdirFolder>(state_, std::move(*f));
    }
  }
  for (size_t store : vdir::StoresFor(*state_, storeId)) {
    if (std::optional<vdir::FolderInfo> f = vdir::ResolveFolder(*state_, store, entryId)) {
      return std::make_unique<vdir::VdirFolder>(state_, std::move(*f));
    }
  }
  return nullptr;
}

std::shared_ptr<OutlookItem> VdirStore::GetItemFromID(const std::string& itemEntryId,
                                                      const std::string& storeId) const {
  auto split = vdir::SplitItemEntryId(itemEntryId);
  if (!split) return nullptr;
  auto [folder, file] = *split;
  size_t ordinal = 1;
  // "alice.vcf#2": the second component of alice.vcf. A name that ends in
  // ".vcf" is never taken apart.
  if (const size_t hash = file.rfind('#');
      hash != std::string::npos && !vdir::IsItemName(file) && hash + 1 < file.size() &&
      file.size() - hash <= 7 &&
      std::all_of(file.begin() + static_cast<std::ptrdiff_t>(hash) + 1, file.end(),
                  [](char c) { return c >= '0' && c <= '9'; }) &&
      file[hash + 1] != '0') {
    ordinal = std::stoul(file.substr(hash + 1));
    file.resize(hash);
    if (ordinal < 2) return nullptr;
  }
  if (!vdir::IsSafeEntryId(folder) || !vdir::IsItemName(file)) return nullptr;
  // An id of a run over a root this store names otherwise: the same file
  // first, wherever the roots put it now.
  std::vector<std::pair<size_t, std::string>> places;
  if (auto moved = vdir::Relocated(*state_, storeId, folder)) places.push_back(*moved);
  for (size_t store : vdir::StoresFor(*state_, storeId)) places.emplace_back(store, folder);
  for (const auto& [store, in] : places) {
    // A directory inside a collection opens but is no folder.
    if (in.find('/') != std::string::npos && !vdir::ResolveFolder(*state_, store, in)) {
      continue;
    }
    vdir::UniqueFd root = vdir::OpenRoot(state_->roots[store]);
    if (!root.valid()) continue;
    auto dir = std::make_shared<vdir::UniqueFd>(vdir::OpenFolder(root.get(), in));
    struct stat st {};
    if (!dir->valid() || ::fstatat(dir->get(), file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
      continue;
    }
    std::string fallback = vdir::FallbackTypeName(file);
    std::vector<std::string> types;
    // Read for the components alone: the item reads the file again when it
    // is first used, as a lookup may come long before that. A contact file's
    // first card needs no reading: it is a contact whatever the file holds.
    if (fallback == "ContactItem" && ordinal == 1) {
      types.push_back(fallback);
    } else if (fallback != "MailItem") {
      try {
        types =
            formats::ScanItemTypes(vdir::ReadItemFile(dir->get(), file), fallback == "ContactItem");
      } catch (const Failure&) {
        // The item fails when it is read, as in a folder's items.
      }
    }
    if (types.empty()) types.push_back(std::move(fallback));
    if (ordinal > types.size()) return nullptr;
    return std::make_shared<vdir::VdirItem>(state_, std::move(dir), store, in, file, ordinal,
                                            types.size(), types[ordinal - 1],
                                            std::make_shared<vdir::FileShare>());
  }
  return nullptr;
}

const std::vector<std::string>& VdirStore::StoreIDs() const { return state_->roots; }

}  // namespace tidewell
