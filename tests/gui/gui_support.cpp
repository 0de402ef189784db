#include "gui_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace tidewell::gui::testing {

ModalAnswers::ModalAnswers(std::vector<Action> actions) : actions_(actions.begin(), actions.end()) {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

ModalAnswers::~ModalAnswers() {
  timer_.stop();
  EXPECT_TRUE(actions_.empty()) << actions_.size() << " modal window(s) never opened";
}

void ModalAnswers::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || actions_.empty() || !modal->isVisible()) return;
  for (const QPointer<QWidget>& seen : answered_) {
    if (seen == modal) return;
  }
  answered_.emplace_back(modal);
  Action action = std::move(actions_.front());
  actions_.pop_front();
  action(modal);
}

void Click(QWidget* root, const char* name) {
  auto* button = Find<QAbstractButton>(root, name);
  if (button == nullptr) return;
  // A check box takes clicks on its box and caption only, not on the blank
  // rest of its width.
  const bool box = qobject_cast<QCheckBox*>(button) != nullptr;
  QTest::mouseClick(button, Qt::LeftButton, {},
                    box ? QPoint(6, button->height() / 2) : button->rect().center());
}

ModalAnswers::Action Press(QMessageBox::StandardButton which) {
  return [which](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
    box->button(which)->click();
  };
}

ModalAnswers::Action Record(SeenBox& seen, QMessageBox::StandardButton answer) {
  return [&seen, answer](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
    seen = {box->windowTitle(), box->text(), box->standardButtons(), box->icon()};
    box->button(answer)->click();
  };
}

Sandbox::Sandbox() : root_(std::filesystem::path(dir_.path().toStdString()) / "store") {
  std::filesystem::copy(std::filesystem::path(TIDEWELL_SOURCE_DIR) / "samples" / "store", root_,
                        std::filesystem::copy_options::recursive);
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
    const std::filesystem::path home = std::getenv(variable);
    std::filesystem::remove_all(home / "Marrowby");
  }
}

std::map<std::string, std::string> Sandbox::Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[entry.path().filename().string()] = bytes.str();
  }
  return files;
}

void UseTemporaryXdgHomes() {
  static QTemporaryDir homes;
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
    const QString home = homes.path() + QLatin1Char('/') + QString::fromLatin1(variable);
    QDir().mkpath(home);
    setenv(variable, home.toLocal8Bit().constData(), 1);
  }
}

}  // namespace tidewell::gui::testing
