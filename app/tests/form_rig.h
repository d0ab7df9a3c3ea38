// Test helper: a main window with its own process state, help recorder and
// folders in a temporary directory:
//   <tmp>/bin     the executable's folder (the result code file)
//   <tmp>/qtemp   the working directory of the runs
//   <tmp>/docs    exchange documents
// The runs are the real export and import on <tmp>/qtemp unless a test
// hands in its own.
#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/help_system.h"
#include "app/main_form.h"
#include "export/export_run.h"
#include "import/import_run.h"

namespace tq::testing {

class FormRig {
 public:
  FormRig()
      : root_(temp_.path().toStdString()),
        help_(root_ / "bin", [this](const HelpRequest& request) {
          help_requests.push_back(request);
        }) {
    for (const char* folder : {"bin", "qtemp", "docs"}) {
      std::filesystem::create_directories(root_ / folder);
    }
    help_.SetHelpFile(std::string(kHelpFileName));
  }

  TMForm& Make(const QStringList& parameters,
               FormSetup::Action exportar = nullptr,
               FormSetup::Action importar = nullptr) {
    FormSetup setup;
    for (const QString& p : parameters) setup.parameters.push_back(p.toStdString());
    setup.executable_dir = root_ / "bin";
    setup.dialog_folder = root_ / "docs";
    const std::filesystem::path work = root_ / "qtemp";
    setup.exportar = exportar ? std::move(exportar)
                              : [work](ProcessState& s, RunPort& port) {
                                  return BExportarClick(s, port, work);
                                };
    setup.importar = importar ? std::move(importar)
                              : [work](ProcessState& s, RunPort& port) {
                                  return BImportarClick(s, port, work);
                                };
    form_ = std::make_unique<TMForm>(state, help_, std::move(setup));
    return *form_;
  }

  TMForm& Form() { return *form_; }
  HelpSystem& Help() { return help_; }

  // A document in <tmp>/docs with `content`; returns its path.
  QString Document(const QString& name, const QByteArray& content) {
    const QString path = Path("docs/" + name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
  }
  QString Path(const QString& relative) const {
    return QString::fromStdString((root_ / relative.toStdString()).string());
  }
  QString IniPath() const { return Path("bin/Quadrano.ini"); }
  // The result code file's bytes, or nullopt when there is none.
  std::optional<QByteArray> Ini() const {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
  }

  ProcessState state;
  std::vector<HelpRequest> help_requests;

 private:
  QTemporaryDir temp_;
  std::filesystem::path root_;
  HelpSystem help_;
  std::unique_ptr<TMForm> form_;
};

// A well-formed exchange document without any output list: the export
// re-creates all six tables empty and completes.
inline const QByteArray kEmptyDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<SERVICIO><SALIDAS></SALIDAS></SERVICIO>\r\n";

}  // namespace tq::testing
