// What the widget tests share: answering modal windows, finding and clicking
// widgets by object name, and a sandbox of real stores, settings and logs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "adapters/settings/ini_settings_store.h"
#include "fields/field_catalog.h"
#include "gui/qt_ui.h"
#include "support/fake_components.h"
#include "support/temp_files.h"

namespace tidewell::gui::testing {

// Answers the modal windows that open while it lives, one action per new
// window, in order; a window it waited for that never opened fails the test.
// Set it up before the click that opens them: the answers run in the
// window's own event loop.
class ModalAnswers {
 public:
  using Action = std::function<void(QWidget* modal)>;
  explicit ModalAnswers(std::vector<Action> actions) : actions_(actions.begin(), actions.end()) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || actions_.empty() || !modal->isVisible()) return;
      for (const QPointer<QWidget>& seen : answered_) {
        if (seen == modal) return;
      }
      answered_.emplace_back(modal);
      Action action = std::move(actions_.front());
      actions_.pop_front();
      action(modal);
    });
    timer_.start();
  }
  ~ModalAnswers() {
    timer_.stop();
    EXPECT_TRUE(actions_.empty()) << actions_.size() << " modal window(s) never opened";
  }

 private:
  std::deque<Action> actions_;
  std::vector<QPointer<QWidget>> answered_;
  QTimer timer_;
};

// What a message box showed.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
};
// Clicks the button `which` of a message box, noting what it showed in `seen`.
inline ModalAnswers::Action Press(QMessageBox::StandardButton which, SeenBox* seen = nullptr) {
  return [which, seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
    if (seen) *seen = {box->windowTitle(), box->text(), box->standardButtons()};
    box->button(which)->click();
  };
}

// The child of `root` named `name`, of type T; fails the test when absent.
template <typename T = QWidget>
T* Find(QWidget* root, const char* name) {
  T* found = root->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) ADD_FAILURE() << "no widget named " << name;
  return found;
}

// Clicks the child button `name` of `root` with the mouse; a check box on its
// box, as it takes no clicks on the blank rest of its width.
inline void Click(QWidget* root, const char* name) {
  auto* button = Find<QAbstractButton>(root, name);
  if (button == nullptr) return;
  const bool box = qobject_cast<QCheckBox*>(button) != nullptr;
  QTest::mouseClick(button, Qt::LeftButton, {},
                    box ? QPoint(6, button->height() / 2) : button->rect().center());
}

// Clicks as Click does, answering the modal windows the click opens with
// `actions` as ModalAnswers does.
inline void ClickAnswering(QWidget* root, const char* name,
                           std::vector<ModalAnswers::Action> actions) {
  ModalAnswers answers(std::move(actions));
  Click(root, name);
}

inline void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
  QTest::keyClick(target, key, modifiers);
}

// Clicks the item of `tree` whose text is `text`, at any depth.
inline void ClickItem(QTreeWidget* tree, const char* text) {
  QTreeWidgetItem* item = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(item, nullptr) << text;
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

// The texts of the list widget `name` under `root`, in order.
inline QStringList ListTexts(QWidget* root, const char* name) {
  QStringList texts;
  auto* list = Find<QListWidget>(root, name);
  for (int i = 0; list != nullptr && i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

inline QString LabelText(QWidget* root, const char* name) {
  auto* label = Find<QLabel>(root, name);
  return label == nullptr ? QString() : label->text();
}

// Shown and active, so that its shortcuts work. Without a window manager
// nothing gives the focus back to a window after a modal window closed:
// the tests call this again.
inline void Show(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Saves a page setting where the window reads it (Marrowby.ini).
inline void Save(const std::string& key, const std::string& value) {
  IniSettingsStore().SaveSetting("Marrowby", kSettingsSection, key, value);
}

// The saved settings of a run of 555 to 777 over the phone numbers of the
// contacts folder of the store `store_id` (left out when empty).
inline void SavePhoneRun(const std::string& store_id) {
  Save("SearchFor", "555");
  Save("ReplaceWith", "777");
  Save("FolderCount", "1");
  Save("FolderName1", "Contacts");
  Save("FolderEntryId1", "contacts");
  if (!store_id.empty()) Save("FolderStoreId1", store_id);
  for (const CatalogRow& row : kFieldCatalog) {
    Save(row.key, row.preset == PresetGroup::Phone ? "1" : "0");
  }
}

// The fake components with real Qt windows for message boxes and dialogs.
class QtFakeComponents : public tidewell::testing::FakeComponents {
 public:
  Ui& ui() override { return qt_ui; }
  QtUi qt_ui;
};

// A fresh copy of the demo store (samples/store) and empty settings and logs
// (main points XDG_CONFIG_HOME and XDG_STATE_HOME at temporary folders).
class Sandbox {
 public:
  Sandbox() : root_(std::filesystem::path(dir_.path().toStdString()) / "store") {
    std::filesystem::copy(std::filesystem::path(TIDEWELL_SOURCE_DIR) / "samples" / "store", root_,
                          std::filesystem::copy_options::recursive);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
      std::filesystem::remove_all(std::filesystem::path(std::getenv(variable)) / "Marrowby");
    }
  }
  std::string StoreRoot() const { return root_.string(); }
  std::filesystem::path Folder(const char* name) const { return root_ / name; }
  // Every file of `folder` and its bytes, leaving out the REV line that
  // every save stamps anew.
  static std::map<std::string, QString> Snapshot(const std::filesystem::path& folder) {
    std::map<std::string, QString> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      files[entry.path().filename().string()] =
          QString::fromStdString(tidewell::testing::ReadFile(entry.path()))
              .remove(QRegularExpression("REV:[^\n]*\n"));
    }
    return files;
  }
  // How many files of `folder` differ from `before`.
  static int ChangedFiles(const std::map<std::string, QString>& before,
                          const std::filesystem::path& folder) {
    int changed = 0;
    for (const auto& [file, text] : Snapshot(folder)) changed += before.at(file) != text ? 1 : 0;
    return changed;
  }

 private:
  QTemporaryDir dir_;
  std::filesystem::path root_;
};

inline void UseTemporaryXdgHomes() {
  static QTemporaryDir homes;
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
    const QString home = homes.path() + QLatin1Char('/') + QString::fromLatin1(variable);
    QDir().mkpath(home);
    setenv(variable, home.toLocal8Bit().constData(), 1);
  }
}

}  // namespace tidewell::gui::testing
