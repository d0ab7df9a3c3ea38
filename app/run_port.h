// The port through which a run talks to its window.
//
// The runs in export/ and import/ know nothing of Qt: the window (or the
// command-line tool, or a test fake) implements this port. Texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tq {

// Settings of the file dialog "OpenDialogXML", shared by both runs.
struct OpenDialogSettings {
  static constexpr std::string_view kTitle = "Archivo XML";
  static constexpr std::string_view kFilter = "*.xml|*.xml";
  static constexpr std::string_view kDefaultExtension = "xml";
  static constexpr std::string_view kInitialFolder = "c:\\qtemp\\gestaro";
};

// Messages every run may end with.
inline constexpr std::string_view kProcesoFinalizado = "Proceso finalizado";
inline constexpr std::string_view kNoExisteArchivo = "No existe archivo";

class RunPort {
 public:
  virtual ~RunPort() = default;

  // Shows OpenDialogXML (modal). The chosen full path, or nullopt when the
  // user cancels. The dialog proposes the path chosen last.
  virtual std::optional<std::string> ChooseFile() = 0;
  // The message box: modal; returns when the user has dismissed it.
  virtual void ShowMessage(std::string_view text) = 0;
  // The application-wide busy (hourglass) pointer on or off.
  virtual void SetBusyPointer(bool busy) = 0;
  // Closes the main window (host mode, at the end of a run).
  virtual void CloseWindow() = 0;
};

// Turns the busy pointer on for its lifetime and off again however the scope
// ends, so that a run that fails leaves the pointer normal.
class BusyPointer {
 public:
  explicit BusyPointer(RunPort& port) : port_(port) { port_.SetBusyPointer(true); }
  ~BusyPointer() { port_.SetBusyPointer(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  RunPort& port_;
};

}  // namespace tq

namespace tq {

// How a run ended when it did not raise an error.
enum class RunOutcome {
  kNoFile,     // "No existe archivo"
  kCompleted,  // "Proceso finalizado"
};

}  // namespace tq
