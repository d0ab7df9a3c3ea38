// The message box, the error report and the one place where the window
// catches errors; the busy pointer; the help requests.
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <stdexcept>

#include "app/message_box.h"
#include "form_rig.h"
#include "modal_answerer.h"
#include "platform/error.h"

namespace {

using tq::testing::FormRig;
using tq::testing::ModalAnswerer;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void MessageBox();
  void ErrorReport();
  void FullStop_data();
  void FullStop();
  void ErrorInRunIsReportedAndWindowWaits_data();
  void ErrorInRunIsReportedAndWindowWaits();
  void BusyPointerDuringRun();
  void HelpRequests();
  void HelpNeedsChmFile_data();
  void HelpNeedsChmFile();
};

bool CentredOnScreen(const QRect& box) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  return qAbs(box.center().x() - screen.center().x()) <= 1 &&
         qAbs(box.center().y() - screen.center().y()) <= 1;
}

void DialogsTest::MessageBox() {
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Dismiss());
  tq::ShowMessageBox("Proceso finalizado");
  QVERIFY(answers.AllAnswered());
  const tq::testing::SeenDialog& box = answers.Seen().at(0);
  QCOMPARE(box.title, QString("TransQuadrixGestaro"));
  QCOMPARE(box.text, QString("Proceso finalizado"));
  QCOMPARE(box.icon, QMessageBox::NoIcon);
  QCOMPARE(box.buttons, QStringList{"Aceptar"});
  QVERIFY2(CentredOnScreen(box.geometry), qPrintable(QDebug::toString(box.geometry)));
}

void DialogsTest::ErrorReport() {
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Dismiss());
  tq::ShowErrorReport("No se puede abrir «<PROFT>»");
  QVERIFY(answers.AllAnswered());
  const tq::testing::SeenDialog& box = answers.Seen().at(0);
  QCOMPARE(box.title, QString("TransQuadrixGestaro"));
  QCOMPARE(box.text, QString("No se puede abrir «<PROFT>»."));  // plain text
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(box.buttons, QStringList{"OK"});
  QVERIFY(CentredOnScreen(box.geometry));
}

void DialogsTest::FullStop_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("shown");
  QTest::newRow("letter") << "abc" << "abc.";
  QTest::newRow("full stop") << "abc." << "abc.";
  QTest::newRow("exclamation") << "abc!" << "abc!";
  QTest::newRow("hyphen, below '.'") << "abc-" << "abc-";
  QTest::newRow("slash, above '.'") << "a/" << "a/.";
  QTest::newRow("digit") << "7" << "7.";
  QTest::newRow("quote, below '.'") << "'$1A'" << "'$1A'";
  QTest::newRow("non-ASCII") << "válido" << "válido.";
  QTest::newRow("closing guillemet") << "«x»" << "«x».";
  QTest::newRow("empty") << "" << "";
}

void DialogsTest::FullStop() {
  QFETCH(QString, text);
  QFETCH(QString, shown);
  QCOMPARE(QString::fromStdString(tq::WithFullStop(text.toStdString())), shown);
}

// An error that leaves a run reaches the error report; the window goes on
// waiting and the pointer is normal again.
void DialogsTest::ErrorInRunIsReportedAndWindowWaits_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("shown");
  QTest::newRow("tq::Error") << "tq" << "La tabla PROFT está en uso.";
  QTest::newRow("std::exception") << "std" << "fallo inesperado.";
}

void DialogsTest::ErrorInRunIsReportedAndWindowWaits() {
  QFETCH(QString, kind);
  QFETCH(QString, shown);
  FormRig rig;
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Dismiss());
  auto failing = [kind](tq::ProcessState& state, tq::RunPort& port) -> tq::RunOutcome {
    tq::BusyPointer busy(port);
    state.CodigoResultado = 1;  // a run that fails late keeps what it set
    if (kind == "tq") throw tq::TableInUseError("La tabla PROFT está en uso");
    throw std::runtime_error("fallo inesperado");
  };
  tq::TMForm& form = rig.Make({"exportar", "0"}, failing);
  form.Run();
  QVERIFY(answers.AllAnswered());
  QCOMPARE(answers.Seen().at(0).text, shown);
  QVERIFY(!form.IsClosed());
  QVERIFY(form.isVisible());
  QVERIFY(QApplication::overrideCursor() == nullptr);
}

void DialogsTest::BusyPointerDuringRun() {
  FormRig rig;
  std::optional<Qt::CursorShape> during;
  auto run = [&](tq::ProcessState&, tq::RunPort& port) {
    tq::BusyPointer busy(port);
    if (QApplication::overrideCursor()) during = QApplication::overrideCursor()->shape();
    return tq::RunOutcome::kCompleted;
  };
  tq::TMForm& form = rig.Make({}, nullptr, run);
  form.Run();
  form.findChild<QPushButton*>("BImportar")->click();
  QCOMPARE(during, std::optional<Qt::CursorShape>(Qt::WaitCursor));
  QVERIFY(QApplication::overrideCursor() == nullptr);
}

// F1 anywhere (here on Button1, which has no help context of its own) asks
// for context 1; the help button sets the file name again and asks for the
// contents. The file is looked for beside the executable.
void DialogsTest::HelpRequests() {
  FormRig rig;
  tq::TMForm& form = rig.Make({});
  form.Run();
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  auto* button1 = form.findChild<QPushButton*>("Button1");
  button1->setFocus();
  QTest::keyClick(button1, Qt::Key_F1);
  rig.Help().SetHelpFile("otro.txt");
  button1->click();

  const std::filesystem::path file = rig.Path("bin/GESTARO.chm").toStdString();
  QCOMPARE(rig.help_requests.size(), size_t{2});
  QCOMPARE(rig.help_requests[0].file, file);
  QCOMPARE(rig.help_requests[0].command, tq::HelpCommand::kContext);
  QCOMPARE(rig.help_requests[0].data, 1);
  QCOMPARE(rig.help_requests[1].file, file);
  QCOMPARE(rig.help_requests[1].command, tq::HelpCommand::kContents);
  QCOMPARE(rig.help_requests[1].data, 0);
  QCOMPARE(rig.Help().HelpFile(), std::string("GESTARO.chm"));
}

void DialogsTest::HelpNeedsChmFile_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("passed");
  QTest::newRow("GESTARO.chm") << "GESTARO.chm" << true;
  QTest::newRow("upper case") << "AYUDA.CHM" << true;
  QTest::newRow("mixed case") << "ayuda.Chm" << true;
  QTest::newRow("other kind") << "GESTARO.hlp" << false;
  QTest::newRow("chm not at the end") << "GESTARO.chm.txt" << false;
  QTest::newRow("no dot") << "GESTAROchm" << false;
  QTest::newRow("empty") << "" << false;
}

void DialogsTest::HelpNeedsChmFile() {
  QFETCH(QString, name);
  QFETCH(bool, passed);
  FormRig rig;
  rig.Help().SetHelpFile(name.toStdString());
  rig.Help().Context(1);
  QCOMPARE(rig.help_requests.size(), passed ? size_t{1} : size_t{0});
}

}  // namespace

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
