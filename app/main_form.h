// The main window MForm (class TMForm): layout, the two runs' buttons, host
// mode, the result code and help.
//
// Life of the window: the constructor builds the layout and ends with
// FormCreate (result code zeroed, host mode entered when the command line
// asks for it). Run() is the program's "make visible" step: FormShow starts
// the action that a host-mode command line names, then the window is placed
// at its centre position and shown, unless the action has closed it. Every
// close runs FormClose, which writes the result code in host mode, and then
// emits Closed(); the program ends its event loop on that signal (an
// embedded window's close does not end it by itself).
//
// The window is the runs' RunPort. The runs themselves are handed in as
// functions, so that the window can be tested without working tables. No
// exception leaves a handler: each one ends in the standard error report.
#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/process_state.h"
#include "app/run_port.h"

class QCloseEvent;
class QFileDialog;
class QWindow;

namespace tq {

class HelpSystem;

// What the window needs from the program entry.
struct FormSetup {
  using Action = std::function<RunOutcome(ProcessState&, RunPort&)>;

  // The command line without the program path, UTF-8.
  std::vector<std::string> parameters;
  // Where the result code file is written.
  std::filesystem::path executable_dir;
  // The file dialog's initial folder.
  std::filesystem::path dialog_folder;
  Action exportar;  // BExportarClick
  Action importar;  // BImportarClick
};

class TMForm : public QWidget, public RunPort {
  Q_OBJECT

 public:
  // `state` and `help` must outlive the window.
  TMForm(ProcessState& state, HelpSystem& help, FormSetup setup);
  ~TMForm() override;

  void Run();
  // True once the window has been closed.
  bool IsClosed() const { return closed_; }
  // The host's window in host mode, else null.
  QWindow* HostWindow() const { return host_window_; }

  // The two actions and the help button's handler.
  void BExportarClick();
  void BImportarClick();
  void Button1Click();

  // RunPort.
  std::optional<std::string> ChooseFile() override;
  void ShowMessage(std::string_view text) override;
  void SetBusyPointer(bool busy) override;
  void CloseWindow() override;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void BuildFileDialog();
  void FormCreate();
  void FormShow();
  void FormClose();
  // Runs `handler`; an error that leaves it ends in the error report.
  void Guarded(const std::function<void()>& handler);
  void StartAction(const FormSetup::Action& action);
  void ShowError(std::string_view text);
  // The window that boxes and the file dialog are transient for.
  QWindow* TransientParent();
  QPoint CentrePosition() const;

  ProcessState& state_;
  HelpSystem& help_;
  FormSetup setup_;
  std::unique_ptr<QFileDialog> open_dialog_xml_;
  QString last_chosen_path_;
  QWindow* host_window_ = nullptr;  // owned; see the destructor
  bool busy_ = false;
  bool closed_ = false;
};

}  // namespace tq
