// What the widget tests share: answering modal windows, finding widgets by
// object name, and a sandbox of real stores, settings and logs.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gui/qt_ui.h"
#include "support/fake_components.h"

namespace tidewell::gui::testing {

// Answers the modal windows that open while it lives, one action for each
// new window, in order. Set it up before the click that opens them: the
// click blocks in the window's own event loop, where the answers run.
class ModalAnswers {
 public:
  using Action = std::function<void(QWidget* modal)>;
  explicit ModalAnswers(std::vector<Action> actions);
  // Fails the test when a window it waited for never opened.
  ~ModalAnswers();

 private:
  void Poll();
  std::deque<Action> actions_;
  std::vector<QPointer<QWidget>> answered_;
  QTimer timer_;
};

// The child of `root` named `name`, of type T; fails the test when absent.
template <typename T = QWidget>
T* Find(QWidget* root, const char* name) {
  T* found = root->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) ADD_FAILURE() << "no widget named " << name;
  return found;
}

// The fake components with real Qt windows for message boxes and dialogs.
class QtFakeComponents : public tidewell::testing::FakeComponents {
 public:
  Ui& ui() override { return qt_ui; }
  QtUi qt_ui;
};

// Clicks the child button `name` of `root` with the mouse.
void Click(QWidget* root, const char* name);
// An action that clicks the button `which` of a message box.
ModalAnswers::Action Press(QMessageBox::StandardButton which);
// An action that records a message box's caption, text and buttons.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};
ModalAnswers::Action Record(SeenBox& seen, QMessageBox::StandardButton answer);

// A fresh copy of the demo store (samples/store) and empty settings: the
// process keeps its settings and logs under one temporary XDG_CONFIG_HOME
// and XDG_STATE_HOME (set by main), and each sandbox empties them.
class Sandbox {
 public:
  Sandbox();
  std::string StoreRoot() const { return root_.string(); }
  std::filesystem::path Folder(const char* name) const { return root_ / name; }
  // Every file of `folder` and its bytes.
  static std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder);

 private:
  QTemporaryDir dir_;
  std::filesystem::path root_;
};

// Makes the test process's XDG_CONFIG_HOME and XDG_STATE_HOME temporary;
// called by main before Qt reads them.
void UseTemporaryXdgHomes();

}  // namespace tidewell::gui::testing

namespace tidewell::gui::testing {

// Renders the page, the field chooser's three tabs and the window after a run
// on a copy of the demo store to PNG files in `folder`. Returns the process's
// exit code.
int RenderScreenshots(const std::string& folder);

}  // namespace tidewell::gui::testing
