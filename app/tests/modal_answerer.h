// Test helper: answers the modal dialogs and message boxes that a window
// opens, one answer per dialog in the order given, and records what each
// dialog showed. Polls QApplication::activeModalWidget() from a timer, which
// runs inside the dialogs' own event loops.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace tq::testing {

struct SeenDialog {
  QString kind;   // "file" or "box"
  QString title;
  QString text;   // the box's text
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QStringList proposed;  // the file dialog's selection when it opened
  QRect geometry;  // with the frame
};

class ModalAnswerer : public QObject {
 public:
  using Answer = std::function<void(QDialog&)>;

  ModalAnswerer() {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(10);
  }

  ModalAnswerer& Then(Answer answer) {
    answers_.push_back(std::move(answer));
    return *this;
  }

  // The file dialog: type `path` into its file name box and accept, as a
  // user does. (selectFile() leaves the box alone while it has the focus.)
  static Answer Choose(const QString& path) {
    return [path](QDialog& dialog) {
      auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
      Q_ASSERT(name != nullptr);
      name->setText(path);
      QMetaObject::invokeMethod(&dialog, "accept");  // protected in QFileDialog
    };
  }
  static Answer Cancel() {
    return [](QDialog& dialog) { dialog.reject(); };
  }
  // A message box: press its only (or first) button.
  static Answer Dismiss() {
    return [](QDialog& dialog) {
      static_cast<QMessageBox&>(dialog).buttons().first()->click();
    };
  }

  const std::vector<SeenDialog>& Seen() const { return seen_; }
  bool AllAnswered() const { return answers_.empty(); }

 private:
  void Poll() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog == current_ || !dialog->isVisible()) return;
    current_ = dialog;
    connect(dialog, &QDialog::finished, this, [this] { current_ = nullptr; },
            Qt::SingleShotConnection);
    SeenDialog seen;
    seen.title = dialog->windowTitle();
    seen.geometry = dialog->frameGeometry();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      seen.kind = "box";
      seen.text = box->text();
      seen.icon = box->icon();
      for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
    } else if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
      seen.kind = "file";
      seen.proposed = files->selectedFiles();
    }
    seen_.push_back(seen);
    if (answers_.empty()) {
      dialog->reject();  // an unexpected dialog must not hang the test
      return;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    answer(*dialog);
  }

  QTimer timer_;
  QPointer<QDialog> current_;
  std::deque<Answer> answers_;
  std::vector<SeenDialog> seen_;
};

}  // namespace tq::testing
