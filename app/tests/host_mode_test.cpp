// Host mode through the window: what each command line makes of the window,
// the result code after each kind of run, and the result code file written
// at close. The runs are the real export and import on a temporary working
// directory; the host handle is 0 (no parent), as the offscreen platform
// wraps no foreign windows.
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include "form_rig.h"
#include "modal_answerer.h"

namespace {

using tq::testing::FormRig;
using tq::testing::ModalAnswerer;

// "box:<text>" or "file:<title>" for each dialog the window opened.
QStringList Dialogs(const ModalAnswerer& answers) {
  QStringList shown;
  for (const tq::testing::SeenDialog& d : answers.Seen()) {
    shown << (d.kind == "box" ? "box:" + d.text : "file:" + d.title);
  }
  return shown;
}

// The value of Transformado in the result code file, or "none".
QString WrittenCode(const FormRig& rig) {
  const std::optional<QByteArray> ini = rig.Ini();
  if (!ini) return "none";
  const QRegularExpressionMatch match =
      QRegularExpression("Transformado=(-?[0-9]+)").match(QString::fromUtf8(*ini));
  return match.hasMatch() ? match.captured(1) : "garbled";
}

class HostModeTest : public QObject {
  Q_OBJECT

 private slots:
  void CommandLine_data();
  void CommandLine();
  void ResultCode_data();
  void ResultCode();
  void ResultFileKeepsTheRest_data();
  void ResultFileKeepsTheRest();
  void UnwritableResultFileStillCloses();
  void DialogRemembersThePathForBothRuns();
};

// Every dialog is answered by cancelling it or pressing its button, so a
// started run ends at "No existe archivo".
void HostModeTest::CommandLine_data() {
  QTest::addColumn<QStringList>("parameters");
  QTest::addColumn<int>("modo");
  QTest::addColumn<QStringList>("dialogs");
  QTest::addColumn<bool>("closed_by_run");
  QTest::addColumn<QString>("written");  // after the run, or after a close

  const QStringList export_run = {"file:Archivo XML", "box:No existe archivo"};
  QTest::newRow("no parameter") << QStringList{} << 0 << QStringList{} << false << "none";
  QTest::newRow("one parameter") << QStringList{"exportar"} << 0 << QStringList{}
                                 << false << "none";
  QTest::newRow("three parameters") << QStringList{"exportar", "0", "x"} << 0
                                    << QStringList{} << false << "none";
  QTest::newRow("exportar 0") << QStringList{"exportar", "0"} << 2 << export_run
                              << true << "-1";
  QTest::newRow("EXPORTAR 0") << QStringList{"EXPORTAR", "0"} << 2 << export_run
                              << true << "-1";
  QTest::newRow("Importar 00") << QStringList{"Importar", "00"} << 2 << export_run
                               << true << "0";
  QTest::newRow("export 0") << QStringList{"export", "0"} << 2 << QStringList{}
                            << false << "0";
  QTest::newRow("exportar2 0") << QStringList{"exportar2", "0"} << 2 << QStringList{}
                               << false << "0";
  QTest::newRow("exportar 0x1A2B")
      << QStringList{"exportar", "0x1A2B"} << 0
      << (QStringList{"box:'$0x1A2B' no es un valor entero válido."} + export_run)
      << false << "none";
  QTest::newRow("importar -1A")
      << QStringList{"importar", "-1A"} << 0
      << (QStringList{"box:'$-1A' no es un valor entero válido."} + export_run)
      << false << "none";
  QTest::newRow("exportar \"1A 2B\"")
      << QStringList{"exportar", "1A 2B"} << 0
      << (QStringList{"box:'$1A 2B' no es un valor entero válido."} + export_run)
      << false << "none";
  QTest::newRow("exportar nine digits")
      << QStringList{"exportar", "100000000"} << 0
      << (QStringList{"box:'$100000000' no es un valor entero válido."} + export_run)
      << false << "none";
  // A handle the platform cannot use: reported, then stand-alone.
  QTest::newRow("exportar 1A2B, no foreign windows")
      << QStringList{"exportar", "1A2B"} << 0
      << (QStringList{"box:No se puede colocar la ventana en la ventana anfitriona "
                      "1A2B: el sistema de ventanas no lo permite."} +
          export_run)
      << false << "none";
}

void HostModeTest::CommandLine() {
  QFETCH(QStringList, parameters);
  QFETCH(int, modo);
  QFETCH(QStringList, dialogs);
  QFETCH(bool, closed_by_run);
  QFETCH(QString, written);

  FormRig rig;
  ModalAnswerer answers;  // no answers: cancel and dismiss everything
  tq::TMForm& form = rig.Make(parameters);
  QCOMPARE(rig.state.ModoAnfitrion, modo);
  QCOMPARE(rig.state.CodigoResultado, 0);
  QCOMPARE(bool(form.windowFlags() & Qt::FramelessWindowHint), modo == 2);
  form.Run();
  QCOMPARE(Dialogs(answers), dialogs);
  QCOMPARE(form.IsClosed(), closed_by_run);
  QCOMPARE(form.isVisible(), !closed_by_run);
  if (!closed_by_run) {
    // Centred on the screen, the frame included (a host handle of 0 sets no
    // parent).
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
    QCOMPARE(WrittenCode(rig), QString("none"));
    form.findChild<QPushButton*>("BClose")->click();
    QVERIFY(form.IsClosed());
  }
  QCOMPARE(WrittenCode(rig), written);
}

// The result code after each kind of run. The code is set to 7 before the
// run to show where a run leaves it unchanged.
void HostModeTest::ResultCode_data() {
  QTest::addColumn<bool>("host");
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("situation");
  QTest::addColumn<int>("code");
  QTest::addColumn<QString>("written");  // after the run and a close

  QTest::newRow("host export completed") << true << "exportar" << "completed" << 1 << "1";
  QTest::newRow("host export no file") << true << "exportar" << "no file" << -1 << "-1";
  QTest::newRow("host import no file") << true << "importar" << "no file" << 0 << "0";
  QTest::newRow("host export error") << true << "exportar" << "error" << 7 << "7";
  QTest::newRow("host import error") << true << "importar" << "error" << 7 << "7";
  QTest::newRow("alone export completed") << false << "exportar" << "completed" << 1 << "none";
  QTest::newRow("alone export no file") << false << "exportar" << "no file" << 7 << "none";
  QTest::newRow("alone import no file") << false << "importar" << "no file" << 7 << "none";
  QTest::newRow("alone export error") << false << "exportar" << "error" << 7 << "none";
  QTest::newRow("alone import error") << false << "importar" << "error" << 7 << "none";
}

void HostModeTest::ResultCode() {
  QFETCH(bool, host);
  QFETCH(QString, action);
  QFETCH(QString, situation);
  QFETCH(int, code);
  QFETCH(QString, written);

  FormRig rig;
  QString document;
  if (situation == "completed") {
    document = rig.Document("servicio.xml", tq::testing::kEmptyDocument);
  } else if (situation == "no file") {
    document = rig.Path("docs/falta.xml");
  } else if (action == "exportar") {
    document = rig.Document("roto.xml", "<SERVICIO><SALIDAS>");  // not well-formed
  } else {
    // Well-formed, but the working directory holds no tables to import.
    document = rig.Document("servicio.xml", tq::testing::kEmptyDocument);
  }
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Choose(document)).Then(ModalAnswerer::Dismiss());

  tq::TMForm& form = rig.Make(host ? QStringList{action, "0"} : QStringList{});
  rig.state.CodigoResultado = 7;
  form.Run();
  if (!host) {
    QVERIFY(form.isVisible());
    form.findChild<QPushButton*>(action == "exportar" ? "BExportar" : "BImportar")->click();
  }
  QVERIFY(answers.AllAnswered());
  QCOMPARE(rig.state.CodigoResultado, code);
  QCOMPARE(rig.state.ArchivoXML, document.toStdString());
  const tq::testing::SeenDialog& last = answers.Seen().back();
  if (situation == "error") {
    QCOMPARE(last.icon, QMessageBox::Critical);  // the error report
    QVERIFY(!last.text.isEmpty());
  } else {
    QCOMPARE(last.text, situation == "completed" ? QString("Proceso finalizado")
                                                 : QString("No existe archivo"));
  }
  // Host mode closes after a run that ended without an error.
  QCOMPARE(form.IsClosed(), host && situation != "error");
  QVERIFY(QApplication::overrideCursor() == nullptr);
  if (!form.IsClosed()) form.close();
  QCOMPARE(WrittenCode(rig), written);
}

// Closing in host mode (no action word, code 0) rewrites one entry only.
void HostModeTest::ResultFileKeepsTheRest_data() {
  QTest::addColumn<QByteArray>("before");
  QTest::addColumn<QByteArray>("after");
  QTest::newRow("other sections and keys kept")
      << QByteArray("; anfitrión\r\n[Otro]\r\nClave=x\r\n\r\n[Transformadores]\r\n"
                    "Transformado=5\r\nOtra=y\r\n")
      << QByteArray("; anfitrión\r\n[Otro]\r\nClave=x\r\n\r\n[Transformadores]\r\n"
                    "Transformado=0\r\nOtra=y\r\n");
  QTest::newRow("names matched ignoring case")
      << QByteArray("[TRANSFORMADORES]\r\ntransformado=1\r\n")
      << QByteArray("[TRANSFORMADORES]\r\ntransformado=0\r\n");
  QTest::newRow("section added")
      << QByteArray("[Otro]\r\nClave=x\r\n")
      << QByteArray("[Otro]\r\nClave=x\r\n[Transformadores]\r\nTransformado=0\r\n");
  QTest::newRow("key added") << QByteArray("[Transformadores]\r\nOtra=y\r\n")
                             << QByteArray("[Transformadores]\r\nOtra=y\r\nTransformado=0\r\n");
  QTest::newRow("new file") << QByteArray() << QByteArray("[Transformadores]\r\nTransformado=0\r\n");
}

void HostModeTest::ResultFileKeepsTheRest() {
  QFETCH(QByteArray, before);
  QFETCH(QByteArray, after);
  FormRig rig;
  if (!before.isEmpty()) {
    QFile file(rig.IniPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(before);
  }
  tq::TMForm& form = rig.Make({"ninguna", "0"});
  form.Run();
  QVERIFY(form.close());
  QCOMPARE(rig.Ini().value_or("none"), after);

  // Stand-alone, a close leaves the file as it is.
  FormRig alone;
  QFile file(alone.IniPath());
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("[Transformadores]\r\nTransformado=5\r\n");
  file.close();
  alone.Make({}).Run();
  alone.state.CodigoResultado = 1;
  QVERIFY(alone.Form().close());
  QCOMPARE(*alone.Ini(), QByteArray("[Transformadores]\r\nTransformado=5\r\n"));
}

// The failed write is reported, and the window closes all the same.
void HostModeTest::UnwritableResultFileStillCloses() {
  FormRig rig;
  QVERIFY(QDir().mkpath(rig.IniPath()));  // a folder where the file belongs
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Dismiss());
  tq::TMForm& form = rig.Make({"ninguna", "0"});
  QSignalSpy closed(&form, &tq::TMForm::Closed);
  form.Run();
  QVERIFY(form.close());
  QVERIFY(answers.AllAnswered());
  QCOMPARE(Dialogs(answers),
           QStringList{"box:Unable to write to " + rig.IniPath() + "."});
  QCOMPARE(answers.Seen().front().icon, QMessageBox::Critical);
  QVERIFY(form.IsClosed());
  QCOMPARE(closed.count(), 1);
}

// The dialog proposes the path chosen last, whichever run chose it; a typed
// name without extension gets ".xml"; a cancel keeps the path.
void HostModeTest::DialogRemembersThePathForBothRuns() {
  FormRig rig;
  ModalAnswerer answers;
  answers.Then(ModalAnswerer::Choose(rig.Path("docs/nuevo")))
      .Then(ModalAnswerer::Dismiss())
      .Then(ModalAnswerer::Cancel())
      .Then(ModalAnswerer::Dismiss());
  tq::TMForm& form = rig.Make({});
  form.Run();
  form.findChild<QPushButton*>("BExportar")->click();
  const QString chosen = rig.Path("docs/nuevo.xml");
  QCOMPARE(QString::fromStdString(rig.state.ArchivoXML), chosen);
  form.findChild<QPushButton*>("BImportar")->click();
  QVERIFY(answers.AllAnswered());
  QCOMPARE(answers.Seen()[2].proposed, QStringList{chosen});
  QCOMPARE(QString::fromStdString(rig.state.ArchivoXML), chosen);
  QCOMPARE(Dialogs(answers), (QStringList{"file:Archivo XML", "box:No existe archivo",
                                          "file:Archivo XML", "box:No existe archivo"}));
}

}  // namespace

QTEST_MAIN(HostModeTest)
#include "host_mode_test.moc"
