#include "support/safe_item_library.h"

#include <utility>

#include "platform/failure.h"

namespace tidewell {

namespace {

class KindWrapper : public SafeItem {
 public:
  explicit KindWrapper(std::string typeName) : type_name_(std::move(typeName)) {}

  void SetItem(std::shared_ptr<OutlookItem> item) override {
    if (!item) throw Failure("Object variable or With block variable not set");
    if (item->TypeName() != type_name_) throw Failure("Type mismatch");
    item_ = std::move(item);
  }

  std::string Get(const std::string& property) override { return Bound().GetProperty(property); }

  void Set(const std::string& property, const std::string& text) override {
    Bound().SetProperty(property, text);
  }

  void SetTaken(const std::string& property, std::string&& text) override {
    Bound().SetPropertyTaken(property, std::move(text));
  }

  std::string PropertyLine(const std::string& property) override {
    return item_ ? item_->PropertyLine(property) : "";
  }

  std::optional<std::string_view> PropertyLineView(const std::string& property) override {
    if (!item_) return std::string_view();
    return item_->PropertyLineView(property);
  }

  void RestoreLine(const std::string& property, const std::string& line) override {
    Bound().RestoreLine(property, line);
  }

  void RestoreLineTaken(const std::string& property, std::string&& line) override {
    Bound().RestoreLineTaken(property, std::move(line));
  }

  std::string FullNameAndCompany() override {
    if (type_name_ != "ContactItem") {
      throw Failure("Object doesn't support this property or method");
    }
    // Only a failure report asks for it: a name of a megabyte stays out of it.
    return Bounded(Bound().GetProperty("FullNameAndCompany"));
  }

  void Save() override { Bound().Save(); }

  std::optional<std::string> SearchableText() override { return Bound().SearchableText(); }

 private:
  OutlookItem& Bound() {
    if (!item_) throw Failure("Object variable or With block variable not set");
    return *item_;
  }

  std::string type_name_;
  std::shared_ptr<OutlookItem> item_;
};

}  // namespace

std::unique_ptr<SafeItem> SafeItemLibrary::Create(const std::string& progId) const {
  if (progId == kSafeContactItem) return std::make_unique<KindWrapper>("ContactItem");
  if (progId == kSafeAppointmentItem) return std::make_unique<KindWrapper>("AppointmentItem");
  if (progId == kSafeTaskItem) return std::make_unique<KindWrapper>("TaskItem");
  throw Failure("ActiveX component can't create object");
}

}  // namespace tidewell
