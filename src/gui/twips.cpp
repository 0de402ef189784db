#include "gui/twips.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace tidewell::gui {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;
}  // namespace

double ScreenDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInch() : kFallbackDpi;
}

int TwipsToPixels(int32_t twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

QRect TwipsRect(int32_t left, int32_t top, int32_t width, int32_t height, double dpi) {
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return QRect(x, y, TwipsToPixels(left + width, dpi) - x, TwipsToPixels(top + height, dpi) - y);
}

QFont ClassicFont(double points, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Microsoft Sans Serif"),
                    QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace tidewell::gui
