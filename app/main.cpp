// Program entry of TransQuadrixGestaro: the application, its help file and
// title, the process-wide state and the main window MForm.
#include <QApplication>
#include <QStringList>
#include <string>
#include <vector>

#include "app/help_system.h"
#include "app/main_form.h"
#include "app/message_box.h"
#include "app/process_state.h"
#include "export/export_run.h"
#include "import/import_run.h"
#include "platform/paths.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // The title is the taskbar entry's text; the boxes set it as their caption
  // themselves. (An application display name would be appended to every
  // window caption, the main window's included.)
  QApplication::setApplicationName(QString::fromUtf8(tq::kApplicationTitle));

  const std::filesystem::path executable_dir = tq::ExecutableDirectory();
  tq::HelpSystem help(executable_dir);
  help.SetHelpFile(std::string(tq::kHelpFileName));

  // Lives from start to end, beyond the window.
  tq::ProcessState state;

  tq::FormSetup setup;
  // The parameters as left after Qt has taken its own options (-platform,
  // -display, ...), without the program path.
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    setup.parameters.push_back(arguments[i].toStdString());
  }
  setup.executable_dir = executable_dir;
  setup.dialog_folder = tq::DefaultDialogFolder();
  setup.exportar = [](tq::ProcessState& s, tq::RunPort& port) {
    return tq::BExportarClick(s, port, tq::DefaultWorkingDirectory());
  };
  setup.importar = [](tq::ProcessState& s, tq::RunPort& port) {
    return tq::BImportarClick(s, port, tq::DefaultWorkingDirectory());
  };

  tq::TMForm MForm(state, help, std::move(setup));
  // Queued: when the action closes the window before the loop runs, the
  // loop ends as soon as it starts.
  QObject::connect(&MForm, &tq::TMForm::Closed, &app,
                   [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  MForm.Run();
  return QApplication::exec();
}
