#include "app/change_listing.h"

#include <exception>
#include <set>
#include <utility>
#include <vector>

namespace tidewell {

namespace {

void AppendEscaped(std::string& out, const std::string& text) {
  for (const char ch : text) {
    switch (ch) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += ch;
    }
  }
}

// The formatted body is written as RTF; the line shows the text it holds.
std::string ListedName(const std::string& property) {
  return property == "RTFBody" ? "Body" : property;
}

// A read made only for the listing must not turn a run that works into one
// that fails: what cannot be read is listed as "".
std::string ReadForListing(SafeItem& item, const std::string& property) {
  try {
    return item.Get(property);
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace

std::string ChangeLine(const FieldChange& change) {
  const std::string* parts[] = {&change.folder, &change.item, &change.field, &change.old_value,
                                &change.new_value};
  std::string line;
  for (const std::string* part : parts) {
    if (part != parts[0]) line += '\t';
    AppendEscaped(line, *part);
  }
  return line;
}

size_t ChangedItemCount(const std::vector<FieldChange>& changes) {
  std::set<std::pair<std::string, std::string>> items;
  for (const FieldChange& change : changes) {
    if (change.item_id.empty()) {
      items.emplace(change.folder, change.item);
    } else {
      items.emplace("", change.item_id);
    }
  }
  return items.size();
}

class ChangeListing::FolderNotingHost : public Host, public FolderLookup {
 public:
  explicit FolderNotingHost(std::shared_ptr<Host> inner) : inner_(std::move(inner)) {}

  std::shared_ptr<Application> OutlookApplication() override {
    return inner_->OutlookApplication();
  }
  void OnStatusChange() override { inner_->OnStatusChange(); }
  FolderLookup& engine() override { return *this; }
  void SetHotHelp(const std::string& helpText, const std::string& secondText) override {
    inner_->SetHotHelp(helpText, secondText);
  }
  void OnFolderNotFound(const std::string& folderName) override {
    inner_->OnFolderNotFound(folderName);
  }
  std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                          const std::string& storeId) override {
    auto folder = inner_->engine().YSGetFolder(entryId, storeId);
    if (folder) {
      folder_name = folder->Name();
      store_id = folder->StoreID();
      ++folders_found;
    }
    return folder;
  }

  std::string folder_name;
  std::string store_id;
  size_t folders_found = 0;

 private:
  std::shared_ptr<Host> inner_;
};

class ChangeListing::ListedItem : public SafeItem {
 public:
  ListedItem(std::unique_ptr<SafeItem> inner, ChangeListing& owner)
      : inner_(std::move(inner)), owner_(owner) {}

  void SetItem(std::shared_ptr<OutlookItem> item) override { inner_->SetItem(std::move(item)); }
  std::string Get(const std::string& property) override { return inner_->Get(property); }
  std::string FullNameAndCompany() override { return inner_->FullNameAndCompany(); }
  std::string PropertyLine(const std::string& property) override {
    return inner_->PropertyLine(property);
  }
  std::optional<std::string_view> PropertyLineView(const std::string& property) override {
    return inner_->PropertyLineView(property);
  }
  void RestoreLine(const std::string& property, const std::string& line) override {
    inner_->RestoreLine(property, line);
  }
  void RestoreLineTaken(const std::string& property, std::string&& line) override {
    inner_->RestoreLineTaken(property, std::move(line));
  }
  std::optional<std::string> SearchableText() override { return inner_->SearchableText(); }

  void Set(const std::string& property, const std::string& text) override {
    Noting(property, [&] { inner_->Set(property, text); });
  }
  void SetTaken(const std::string& property, std::string&& text) override {
    Noting(property, [&] { inner_->SetTaken(property, std::move(text)); });
  }

  void Save() override {
    if (owner_.save_) inner_->Save();
    std::vector<FieldChange> saved;
    saved.swap(pending_);
    for (FieldChange& change : saved) {
      if (owner_.list_values) change.new_value = ReadForListing(*inner_, change.field);
      owner_.listener_(change);
    }
    if (!saved.empty()) ++owner_.items_changed_;
    if (!saved.empty() && owner_.on_item_saved) {
      owner_.on_item_saved(ReadForListing(*inner_, "EntryID"), owner_.host_->store_id);
    }
  }

 private:
  // Notes the field's old text before its first write, then writes it.
  template <class Write>
  void Noting(const std::string& property, Write write) {
    const std::string field = ListedName(property);
    bool noted = false;
    for (const FieldChange& change : pending_) noted |= change.field == field;
    if (!noted) {
      if (item_name_.empty()) {
        item_name_ = ReadForListing(*inner_, "Subject");
        item_id_ = owner_.host_->store_id + "\t" + ReadForListing(*inner_, "EntryID");
        location_ = ReadForListing(*inner_, kLocationProperty);
      }
      pending_.push_back({owner_.host_->folder_name, item_name_, field,
                          owner_.list_values ? ReadForListing(*inner_, field) : "", "", item_id_,
                          location_});
    }
    try {
      write();
    } catch (...) {
      if (!noted) pending_.pop_back();
      throw;
    }
  }

  std::unique_ptr<SafeItem> inner_;
  ChangeListing& owner_;
  std::string item_name_;
  std::string item_id_;
  std::string location_;
  std::vector<FieldChange> pending_;
};

ChangeListing::ChangeListing(Components& inner, std::shared_ptr<Host> host, bool save,
                             Listener listener)
    : ForwardingComponents(inner),
      host_(std::make_shared<FolderNotingHost>(std::move(host))),
      save_(save),
      listener_(std::move(listener)) {}

std::shared_ptr<Host> ChangeListing::host() const { return host_; }

size_t ChangeListing::folders_searched() const { return host_->folders_found; }

std::unique_ptr<SafeItem> ChangeListing::CreateSafeItem(const std::string& progId) {
  ++items_searched_;
  return std::make_unique<ListedItem>(inner().CreateSafeItem(progId), *this);
}

}  // namespace tidewell
