// Toolkit-neutral controls: the properties the page and the field chooser use,
// and the events that classic form controls raise.
//
// Setting a text box or check box to the value it already shows raises
// nothing; another value raises its Change (text box) or Click (check box)
// event once. A view (Qt widgets, the terminal host) mirrors a control by
// observing it and feeds user input back through the same setters, so the
// page sees one kind of event whoever made the change.
//
//   TextBox txtSearchFor{"txtSearchFor"};
//   txtSearchFor.Change = [&] { SetDirty(); };
//   txtSearchFor.SetText("555");   // Change raised
//   txtSearchFor.SetText("555");   // nothing
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tidewell {

class Control {
 public:
  explicit Control(std::string name) : name_(std::move(name)) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The control's name, which is also its widget's object name.
  const std::string& Name() const { return name_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // Called after any property of the control changed (for views). Observers
  // must not change the control they observe.
  void AddObserver(std::function<void()> observer) { observers_.push_back(std::move(observer)); }

  // The mouse-move event; raised by views. Empty: the control has none.
  std::function<void()> MouseMove;
  void RaiseMouseMove() const {
    if (MouseMove) MouseMove();
  }

 protected:
  void Changed() const;

 private:
  std::string name_;
  bool enabled_ = true;
  bool visible_ = true;
  std::vector<std::function<void()>> observers_;
};

// Label, frame: a caption and nothing else.
class Label : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  std::string caption_;
};

using Frame = Label;

class PictureBox : public Control {
 public:
  using Control::Control;
};

class Button : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  std::function<void()> Click;
  // What a press of the button does: raises Click when the button is enabled.
  void Press() const {
    if (Click && Enabled()) Click();
  }

 private:
  std::string caption_;
};

class TextBox : public Control {
 public:
  using Control::Control;
  const std::string& Text() const { return text_; }
  // Raises Change when `text` differs from the text shown.
  void SetText(const std::string& text);

  std::function<void()> Change;

 private:
  std::string text_;
};

class CheckBox : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // 0 cleared, 1 ticked, 2 grayed.
  int16_t Value() const { return value_; }
  // Raises Click when `value` differs from the state shown. Throws
  // Failure("Invalid property value") for anything but 0, 1 or 2.
  void SetValue(int32_t value);

  std::function<void()> Click;

 private:
  std::string caption_;
  int16_t value_ = 0;
};

class ListBox : public Control {
 public:
  using Control::Control;
  void AddItem(const std::string& item);
  void Clear();
  const std::vector<std::string>& List() const { return items_; }
  int32_t ListCount() const { return static_cast<int32_t>(items_.size()); }

 private:
  std::vector<std::string> items_;
};

// An editable drop-down list: a list to choose from and a text the user may
// also type.
class ComboBox : public Control {
 public:
  using Control::Control;
  void AddItem(const std::string& item);
  void Clear();  // empties the list and the text
  const std::vector<std::string>& List() const { return items_; }
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);

  std::function<void()> Change;

 private:
  std::vector<std::string> items_;
  std::string text_;
};

class ProgressBar : public Control {
 public:
  using Control::Control;
  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  int32_t Value() const { return value_; }
  // Each throws Failure("Invalid property value") when it would leave Value
  // outside [Min, Max] or Max below Min.
  void SetMin(int32_t min);
  void SetMax(int32_t max);
  void SetValue(int32_t value);

 private:
  int32_t min_ = 0;
  int32_t max_ = 100;
  int32_t value_ = 0;
};

}  // namespace tidewell
