// A panel that paints a vertical gradient of three colours.
//
// The top colour lies on the top pixel row, the middle colour on the row at
// half height and the bottom colour on the bottom row; in between the colours
// blend linearly. The panel takes no focus; its children (labels, buttons)
// draw over the gradient.
#pragma once

#include <QColor>
#include <QWidget>

namespace tq {

class GradientPanel : public QWidget {
 public:
  GradientPanel(QColor top, QColor middle, QColor bottom,
                QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor top_;
  QColor middle_;
  QColor bottom_;
};

}  // namespace tq
