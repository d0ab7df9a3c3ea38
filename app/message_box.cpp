// Message box and error report (see message_box.h).
#include "app/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace tq {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A QMessageBox that centres itself on the screen once its final size is
// known: QMessageBox settles its size in its own show handler, and a box
// without a parent widget must not rely on the platform to place it.
class CentredBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // move() places the frame, so the frame's size is what is centred.
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
  }
};

void RunBox(CentredBox& box, QWindow* transient_for) {
  box.setWindowTitle(FromUtf8(kApplicationTitle));
  box.setTextFormat(Qt::PlainText);  // an error text is never markup
  box.setWindowModality(Qt::ApplicationModal);
  if (transient_for != nullptr) {
    box.winId();  // creates the native window that the transient hint names
    box.windowHandle()->setTransientParent(transient_for);
  }
  box.exec();
}

}  // namespace

void ShowMessageBox(std::string_view text, QWindow* transient_for) {
  CentredBox box(QMessageBox::NoIcon, QString(), FromUtf8(text),
                 QMessageBox::NoButton);
  QPushButton* accept = box.addButton(FromUtf8(kMessageButton),
                                      QMessageBox::AcceptRole);
  box.setDefaultButton(accept);
  box.setEscapeButton(accept);
  RunBox(box, transient_for);
}

void ShowErrorReport(std::string_view text, QWindow* transient_for) {
  CentredBox box(QMessageBox::Critical, QString(),
                 FromUtf8(WithFullStop(text)), QMessageBox::Ok);
  RunBox(box, transient_for);
}

std::string WithFullStop(std::string_view text) {
  std::string result(text);
  if (!result.empty() && static_cast<unsigned char>(result.back()) > '.') {
    result += '.';
  }
  return result;
}

}  // namespace tq
