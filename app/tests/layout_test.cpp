// The main window's layout: frame, sizes and positions, texts, fonts,
// gradient colours, keyboard order and the file dialog's settings.
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "form_rig.h"
#include "modal_answerer.h"

namespace {

using tq::testing::FormRig;

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void Frame();
  void Geometry_data();
  void Geometry();
  void Texts();
  void Fonts();
  void Colours_data();
  void Colours();
  void TabOrder();
  void FileDialogSettings();
};

void LayoutTest::Frame() {
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  QCOMPARE(form.objectName(), QString("MForm"));
  QCOMPARE(form.windowTitle(),
           QString("Exportar e importar datos entre Quadrano y Gestaro "));
  QCOMPARE(form.size(), QSize(632, 266));
  QCOMPARE(form.minimumSize(), QSize(632, 266));
  QCOMPARE(form.maximumSize(), QSize(632, 266));
  const Qt::WindowFlags flags = form.windowFlags();
  QVERIFY(flags & Qt::WindowTitleHint);
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(!(flags & Qt::FramelessWindowHint));
}

void LayoutTest::Geometry_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("parent");
  QTest::addColumn<QRect>("geometry");
  QTest::newRow("Draw3D2") << "Draw3D2" << "MForm" << QRect(1, 0, 315, 169);
  QTest::newRow("Draw3D3") << "Draw3D3" << "MForm" << QRect(316, 0, 317, 169);
  QTest::newRow("Draw3D1") << "Draw3D1" << "MForm" << QRect(0, 168, 633, 97);
  QTest::newRow("Label3") << "Label3" << "Draw3D2" << QRect(24, 24, 265, 57);
  QTest::newRow("Label4") << "Label4" << "Draw3D3" << QRect(8, 24, 305, 57);
  QTest::newRow("Label1") << "Label1" << "Draw3D1" << QRect(8, 72, 223, 13);
  QTest::newRow("BExportar") << "BExportar" << "Draw3D2" << QRect(96, 120, 89, 25);
  QTest::newRow("BImportar") << "BImportar" << "Draw3D3" << QRect(96, 120, 89, 25);
  QTest::newRow("BClose") << "BClose" << "Draw3D1" << QRect(256, 32, 89, 25);
  QTest::newRow("Button1") << "Button1" << "Draw3D1" << QRect(264, 63, 75, 18);
}

void LayoutTest::Geometry() {
  QFETCH(QString, name);
  QFETCH(QString, parent);
  QFETCH(QRect, geometry);
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* widget = form.findChild<QWidget*>(name);
  QVERIFY(widget != nullptr);
  QCOMPARE(widget->parentWidget()->objectName(), parent);
  QCOMPARE(widget->geometry(), geometry);
}

void LayoutTest::Texts() {
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  auto text = [&](const char* name) -> QString {
    if (auto* label = form.findChild<QLabel*>(name)) return label->text();
    return form.findChild<QPushButton*>(name)->text();
  };
  QCOMPARE(text("Label3"), QString("Transformar datos desde Gestaro hacia Quadrano "));
  QCOMPARE(text("Label4"), QString("Transformar datos desde Quadrano hacia Gestaro"));
  QCOMPARE(text("Label1"), QString("TransQuadranoGestaro para QX7 V-2.6"));
  QCOMPARE(text("BExportar"), QString("Aceptar"));
  QCOMPARE(text("BImportar"), QString("Aceptar"));
  QCOMPARE(text("BClose"), QString("&Salir"));
  QCOMPARE(text("Button1"), QString("F1 AYUDA"));
  for (const char* name : {"BExportar", "BImportar", "BClose"}) {
    QVERIFY2(!form.findChild<QPushButton*>(name)->icon().isNull(), name);
  }
  QVERIFY(form.findChild<QPushButton*>("Button1")->icon().isNull());
  QVERIFY(form.findChild<QLabel*>("Label3")->wordWrap());
  QVERIFY(form.findChild<QLabel*>("Label4")->wordWrap());
  for (const char* name : {"Label1", "Label3", "Label4"}) {
    QVERIFY2(!form.findChild<QLabel*>(name)->autoFillBackground(), name);
  }
}

void LayoutTest::Fonts() {
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  QCOMPARE(form.font().pixelSize(), 11);
  QVERIFY(!form.font().bold());
  for (const char* name : {"Label3", "Label4"}) {
    const QFont font = form.findChild<QLabel*>(name)->font();
    QCOMPARE(font.pixelSize(), 16);
    QVERIFY(font.bold());
  }
  auto* label1 = form.findChild<QLabel*>("Label1");
  QCOMPARE(label1->font().pixelSize(), 11);
  QVERIFY(label1->font().bold());
  QCOMPARE(label1->palette().color(QPalette::WindowText), QColor(Qt::red));
  QCOMPARE(form.findChild<QPushButton*>("BClose")->font().pixelSize(), 11);
}

// Pixels sampled from the rendered window at each panel's top row, the row
// at half its height and its bottom row, away from labels and buttons; and
// the button-face background at the left edge above the bottom band.
void LayoutTest::Colours_data() {
  QTest::addColumn<QPoint>("pixel");
  QTest::addColumn<QColor>("colour");
  const QColor peach(255, 238, 221), white(255, 255, 255), gold(249, 211, 125);
  QTest::newRow("Draw3D2 top") << QPoint(6, 0) << peach;
  QTest::newRow("Draw3D2 middle") << QPoint(6, 84) << white;
  QTest::newRow("Draw3D2 bottom") << QPoint(6, 168) << gold;
  QTest::newRow("Draw3D3 top") << QPoint(320, 0) << peach;
  QTest::newRow("Draw3D3 middle") << QPoint(320, 84) << white;
  QTest::newRow("Draw3D3 bottom") << QPoint(631, 168) << gold;
  QTest::newRow("Draw3D1 top") << QPoint(0, 168) << QColor(204, 216, 230);
  QTest::newRow("Draw3D1 middle") << QPoint(0, 216) << QColor(207, 242, 254);
  QTest::newRow("Draw3D1 bottom") << QPoint(0, 264) << QColor(194, 205, 254);
  QTest::newRow("Draw3D1 bottom right") << QPoint(631, 264) << QColor(194, 205, 254);
}

void LayoutTest::Colours() {
  QFETCH(QPoint, pixel);
  QFETCH(QColor, colour);
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  const QImage image = form.grab().toImage();
  QCOMPARE(image.size(), QSize(632, 266));
  QCOMPARE(image.pixelColor(pixel).rgb(), colour.rgb());
  // Nothing covers the left column above the band: the window's own face.
  QCOMPARE(image.pixelColor(0, 100).rgb(),
           form.palette().color(QPalette::Button).rgb());
}

// Tab walks BClose, Button1, BExportar, BImportar and back to BClose.
void LayoutTest::TabOrder() {
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  form.show();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QCOMPARE(QApplication::focusWidget()->objectName(), QString("BClose"));
  QStringList walked;
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walked << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(walked, (QStringList{"Button1", "BExportar", "BImportar", "BClose"}));
  for (const char* name : {"Draw3D1", "Draw3D2", "Draw3D3", "Label1", "Label3", "Label4"}) {
    QCOMPARE(form.findChild<QWidget*>(name)->focusPolicy(), Qt::NoFocus);
  }
}

// The dialog has no parent widget (see TMForm): it is reached through a run.
void LayoutTest::FileDialogSettings() {
  FormRig rig;
  rig.Make({});
  tq::testing::ModalAnswerer answers;
  bool checked = false;
  answers.Then([&](QDialog& d) {
    d.reject();
    auto* dialog = qobject_cast<QFileDialog*>(&d);
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->objectName(), QString("OpenDialogXML"));
    QCOMPARE(dialog->windowTitle(), QString("Archivo XML"));
    QCOMPARE(dialog->nameFilters(), QStringList{"*.xml"});
    QCOMPARE(dialog->defaultSuffix(), QString("xml"));
    QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(QDir(dialog->directory()).canonicalPath(),
             QDir(rig.Path("docs")).canonicalPath());
    checked = true;
  });
  answers.Then(tq::testing::ModalAnswerer::Dismiss());  // "No existe archivo"
  rig.Form().BExportarClick();
  QVERIFY(checked);
  QVERIFY(answers.AllAnswered());
}

}  // namespace

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
