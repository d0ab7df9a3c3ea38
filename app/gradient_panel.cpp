// Three-colour vertical gradient panel (see gradient_panel.h).
#include "app/gradient_panel.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace tq {
namespace {

// The colour at fraction `f` (0 to 1) of the way from `from` to `to`.
QColor Blend(const QColor& from, const QColor& to, double f) {
  auto channel = [f](int a, int b) { return qRound(a + (b - a) * f); };
  return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                channel(from.blue(), to.blue()));
}

}  // namespace

GradientPanel::GradientPanel(QColor top, QColor middle, QColor bottom,
                             QWidget* parent)
    : QWidget(parent), top_(top), middle_(middle), bottom_(bottom) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::paintEvent(QPaintEvent* event) {
  // Row by row rather than through QLinearGradient: the raster engine's
  // gradient table is off by one step at the stops, and the stop colours
  // must come out exactly on the top, half-height and bottom rows.
  QPainter painter(this);
  const QRect dirty = event->rect();
  const int last_row = std::max(1, height() - 1);
  for (int y = dirty.top(); y <= dirty.bottom(); ++y) {
    const double t = static_cast<double>(y) / last_row;
    const QColor colour = t <= 0.5 ? Blend(top_, middle_, 2 * t)
                                   : Blend(middle_, bottom_, 2 * t - 1);
    painter.fillRect(QRect(dirty.left(), y, dirty.width(), 1), colour);
  }
}

}  // namespace tq
