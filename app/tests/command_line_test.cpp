// The command line: host mode, the action word and the host handle, one
// table of cases; and what the window makes of them.
#include <QtTest>

#include "app/command_line.h"
#include "platform/error.h"

Q_DECLARE_METATYPE(tq::HostAction)

namespace {

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void Parameters_data();
  void Parameters();
  void HandleMessageNamesTheParameter();
};

// One row per command line. `handle` is what parameter 2 reads as; `valid`
// false means the conversion error.
void CommandLineTest::Parameters_data() {
  QTest::addColumn<QStringList>("parameters");
  QTest::addColumn<bool>("host");
  QTest::addColumn<tq::HostAction>("action");
  QTest::addColumn<bool>("valid");
  QTest::addColumn<qint64>("handle");

  using tq::HostAction;
  QTest::newRow("none") << QStringList{} << false << HostAction::kNone << false << 0LL;
  QTest::newRow("one") << QStringList{"exportar"} << false << HostAction::kNone << false << 0LL;
  QTest::newRow("three") << QStringList{"exportar", "1A2B", "x"} << false
                         << HostAction::kNone << false << 0LL;
  QTest::newRow("IMPORTAR") << QStringList{"IMPORTAR", "1A2B"} << true
                            << HostAction::kImportar << true << 0x1A2BLL;
  QTest::newRow("Importar") << QStringList{"Importar", "1A2B"} << true
                            << HostAction::kImportar << true << 0x1A2BLL;
  QTest::newRow("exportar") << QStringList{"exportar", "1A2B"} << true
                            << HostAction::kExportar << true << 0x1A2BLL;
  QTest::newRow("EXPORTAR") << QStringList{"EXPORTAR", "1A2B"} << true
                            << HostAction::kExportar << true << 0x1A2BLL;
  QTest::newRow("export") << QStringList{"export", "1A2B"} << true
                          << HostAction::kNone << true << 0x1A2BLL;
  QTest::newRow("exportar2") << QStringList{"exportar2", "1A2B"} << true
                             << HostAction::kNone << true << 0x1A2BLL;
  QTest::newRow("blank after word") << QStringList{"exportar ", "1A2B"} << true
                                    << HostAction::kNone << true << 0x1A2BLL;
  QTest::newRow("1a2b") << QStringList{"exportar", "1a2b"} << true
                        << HostAction::kExportar << true << 0x1A2BLL;
  QTest::newRow("0x1A2B") << QStringList{"exportar", "0x1A2B"} << true
                          << HostAction::kExportar << false << 0LL;
  QTest::newRow("-1A") << QStringList{"exportar", "-1A"} << true
                       << HostAction::kExportar << false << 0LL;
  QTest::newRow("+1A") << QStringList{"exportar", "+1A"} << true
                       << HostAction::kExportar << false << 0LL;
  QTest::newRow("$1A") << QStringList{"exportar", "$1A"} << true
                       << HostAction::kExportar << false << 0LL;
  QTest::newRow("1A 2B as one") << QStringList{"exportar", "1A 2B"} << true
                                << HostAction::kExportar << false << 0LL;
  QTest::newRow("leading blank") << QStringList{"exportar", " 1A"} << true
                                 << HostAction::kExportar << false << 0LL;
  QTest::newRow("empty") << QStringList{"exportar", ""} << true
                         << HostAction::kExportar << false << 0LL;
  QTest::newRow("nine digits") << QStringList{"exportar", "100000000"} << true
                               << HostAction::kExportar << false << 0LL;
  QTest::newRow("many digits") << QStringList{"exportar", "FFFFFFFFFFFFFFFFFFFF"}
                               << true << HostAction::kExportar << false << 0LL;
  QTest::newRow("leading zeros") << QStringList{"exportar", "0000000001A"} << true
                                 << HostAction::kExportar << true << 0x1ALL;
  QTest::newRow("0") << QStringList{"importar", "0"} << true
                     << HostAction::kImportar << true << 0LL;
  QTest::newRow("FFFFFFFF") << QStringList{"importar", "FFFFFFFF"} << true
                            << HostAction::kImportar << true << -1LL;
  QTest::newRow("80000000") << QStringList{"importar", "80000000"} << true
                            << HostAction::kImportar << true
                            << static_cast<qint64>(INT32_MIN);
  QTest::newRow("7FFFFFFF") << QStringList{"importar", "7fffffff"} << true
                            << HostAction::kImportar << true
                            << static_cast<qint64>(INT32_MAX);
}

void CommandLineTest::Parameters() {
  QFETCH(QStringList, parameters);
  QFETCH(bool, host);
  QFETCH(tq::HostAction, action);
  QFETCH(bool, valid);
  QFETCH(qint64, handle);

  std::vector<std::string> args;
  for (const QString& p : parameters) args.push_back(p.toStdString());

  QCOMPARE(tq::HostModeRequested(args), host);
  QCOMPARE(tq::RequestedAction(args), action);
  if (!host) return;
  const std::optional<int32_t> read = tq::TryParseHostHandle(args[1]);
  QCOMPARE(read.has_value(), valid);
  if (valid) {
    QCOMPARE(static_cast<qint64>(*read), handle);
    QCOMPARE(static_cast<qint64>(tq::HostHandleFromText(args[1])), handle);
  } else {
    QVERIFY_THROWS_EXCEPTION(tq::ConversionError, tq::HostHandleFromText(args[1]));
  }
}

void CommandLineTest::HandleMessageNamesTheParameter() {
  try {
    tq::HostHandleFromText("1A 2B");
    QFAIL("no error");
  } catch (const tq::ConversionError& error) {
    QCOMPARE(QString::fromUtf8(error.what()),
             QString::fromUtf8("'$1A 2B' no es un valor entero válido"));
  }
}

}  // namespace

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
