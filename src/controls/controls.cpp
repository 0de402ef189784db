#include "controls/controls.h"

#include "platform/failure.h"

namespace tidewell {

namespace {
[[noreturn]] void InvalidValue() { throw Failure("Invalid property value"); }
}  // namespace

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void Control::Changed() const {
  for (const auto& observer : observers_) observer();
}

void Label::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed();
}

void Button::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed();
}

void TextBox::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Changed();
  if (Change) Change();
}

void CheckBox::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed();
}

void CheckBox::SetValue(int32_t value) {
  if (value < 0 || value > 2) InvalidValue();
  if (value_ == value) return;
  value_ = static_cast<int16_t>(value);
  Changed();
  if (Click) Click();
}

void ListBox::AddItem(const std::string& item) {
  items_.push_back(item);
  Changed();
}

void ListBox::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void ComboBox::AddItem(const std::string& item) {
  items_.push_back(item);
  Changed();
}

void ComboBox::Clear() {
  items_.clear();
  text_.clear();
  Changed();
}

void ComboBox::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Changed();
  if (Change) Change();
}

void ProgressBar::SetMin(int32_t min) {
  if (min > max_) InvalidValue();
  min_ = min;
  if (value_ < min_) value_ = min_;
  Changed();
}

void ProgressBar::SetMax(int32_t max) {
  if (max < min_) InvalidValue();
  max_ = max;
  if (value_ > max_) value_ = max_;
  Changed();
}

void ProgressBar::SetValue(int32_t value) {
  if (value < min_ || value > max_) InvalidValue();
  if (value_ == value) return;
  value_ = value;
  Changed();
}

}  // namespace tidewell
