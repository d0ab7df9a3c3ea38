// Test helper: saves a picture of one X11 window (or of the whole screen) as
// PNG, for the end-to-end script and the README's screenshot.
//   tq_grab_window <window id in hex, or 0 for the screen> <file.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tq_grab_window WINDOW_ID OUTPUT.png\n");
    return 2;
  }
  bool ok = false;
  const WId id = QString::fromLatin1(argv[1]).toULongLong(&ok, 16);
  if (!ok) return 2;
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(id);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "tq_grab_window: no picture of window %s\n", argv[1]);
    return 1;
  }
  return 0;
}
