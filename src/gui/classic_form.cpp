#include "gui/classic_form.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProxyStyle>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace tidewell::gui {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

// The application's style, with check-box indicators no taller or wider than
// the widget that draws them.
class FittedIndicatorStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int size = QProxyStyle::pixelMetric(metric, option, widget);
    if (widget == nullptr || (metric != PM_IndicatorWidth && metric != PM_IndicatorHeight)) {
      return size;
    }
    return std::min(size, widget->height());
  }
};
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
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

void FitIndicator(QCheckBox* box) {
  // One style for every box, owned by the application so it outlives them.
  static QStyle* const fitted = [] {
    auto* style = new FittedIndicatorStyle;
    style->setParent(qApp);
    return style;
  }();
  box->setStyle(fitted);
}

}  // namespace tidewell::gui
