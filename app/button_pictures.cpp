// Button pictures (see button_pictures.h).
#include "app/button_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tq {
namespace {

constexpr int kSide = 16;

QPixmap EmptyPicture() {
  QPixmap pixmap(kSide, kSide);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QIcon CheckMarkPicture() {
  QPixmap pixmap = EmptyPicture();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath tick;
  tick.moveTo(2.5, 8.5);
  tick.lineTo(6.5, 12.5);
  tick.lineTo(13.5, 3.5);
  painter.setPen(QPen(QColor(0, 96, 0), 3.4, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
  painter.drawPath(tick);
  painter.setPen(QPen(QColor(0, 176, 0), 1.8, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
  painter.drawPath(tick);
  return QIcon(pixmap);
}

QIcon ClosePicture() {
  QPixmap pixmap = EmptyPicture();
  QPainter painter(&pixmap);
  // The door frame and the opened door leaf.
  painter.setPen(QColor(64, 64, 64));
  painter.setBrush(QColor(40, 40, 40));
  painter.drawRect(6, 1, 8, 14);
  painter.setBrush(QColor(176, 112, 48));
  painter.drawPolygon(QPolygon({QPoint(6, 1), QPoint(10, 3), QPoint(10, 15),
                                QPoint(6, 15)}));
  // The arrow leaving through the door.
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 0, 0), 2, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
  painter.drawLine(QPointF(9, 8), QPointF(1.5, 8));
  painter.drawLine(QPointF(1.5, 8), QPointF(4.5, 5));
  painter.drawLine(QPointF(1.5, 8), QPointF(4.5, 11));
  return QIcon(pixmap);
}

}  // namespace tq
