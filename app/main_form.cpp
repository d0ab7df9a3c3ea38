// The main window (see main_form.h).
#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <exception>

#include "app/button_pictures.h"
#include "app/command_line.h"
#include "app/gradient_panel.h"
#include "app/help_system.h"
#include "app/host_window.h"
#include "app/message_box.h"
#include "app/result_code_file.h"
#include "platform/error.h"

namespace tq {
namespace {

// Sizes and positions in pixels at 96 dots per inch.
constexpr QSize kClientSize(632, 266);
constexpr int kHelpContext = 1;

const QColor kSideTop(255, 238, 221);
const QColor kSideMiddle(255, 255, 255);
const QColor kSideBottom(249, 211, 125);
const QColor kBandTop(204, 216, 230);
const QColor kBandMiddle(207, 242, 254);
const QColor kBandBottom(194, 205, 254);

// "MS Sans Serif, 8 points" is an 11-pixel bitmap font; where it is missing
// the nearest sans-serif font of the same pixel height stands in.
QFont DialogFont(bool bold) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans",
                    "Arial", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setBold(bold);
  return font;
}

// "Arial, 12 points, bold": 16 pixels high at 96 dots per inch.
QFont HeadingFont() {
  QFont font;
  font.setFamilies({"Arial", "Liberation Sans", "Arimo", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(16);
  font.setBold(true);
  return font;
}

QLabel* MakeLabel(QWidget* panel, const char* name, const char* text,
                  const QRect& geometry) {
  auto* label = new QLabel(QString::fromUtf8(text), panel);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

QPushButton* MakeButton(QWidget* panel, const char* name, const char* caption,
                        const QRect& geometry, const QIcon& picture) {
  auto* button = new QPushButton(picture, QString::fromUtf8(caption), panel);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMForm::TMForm(ProcessState& state, HelpSystem& help, FormSetup setup)
    : state_(state), help_(help), setup_(std::move(setup)) {
  BuildLayout();
  BuildFileDialog();
  Guarded([this] { FormCreate(); });
}

TMForm::~TMForm() {
  if (host_window_ != nullptr) {
    // The foreign window must not go before the native window it parents.
    if (QWindow* own = windowHandle()) own->setParent(nullptr);
    delete host_window_;
  }
}

void TMForm::BuildLayout() {
  setObjectName("MForm");
  setWindowTitle(QStringLiteral("Exportar e importar datos entre Quadrano y Gestaro "));
  // A fixed dialog frame: caption and close box, no minimise or maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientSize);
  setFont(DialogFont(false));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  // Created bottom band first: the two side panels lie above its top row.
  auto* band = new GradientPanel(kBandTop, kBandMiddle, kBandBottom, this);
  band->setObjectName("Draw3D1");
  band->setGeometry(0, 168, 633, 97);
  auto* export_side = new GradientPanel(kSideTop, kSideMiddle, kSideBottom, this);
  export_side->setObjectName("Draw3D2");
  export_side->setGeometry(1, 0, 315, 169);
  auto* import_side = new GradientPanel(kSideTop, kSideMiddle, kSideBottom, this);
  import_side->setObjectName("Draw3D3");
  import_side->setGeometry(316, 0, 317, 169);

  QLabel* label3 = MakeLabel(export_side, "Label3",
                             "Transformar datos desde Gestaro hacia Quadrano ",
                             QRect(24, 24, 265, 57));
  QLabel* label4 = MakeLabel(import_side, "Label4",
                             "Transformar datos desde Quadrano hacia Gestaro",
                             QRect(8, 24, 305, 57));
  for (QLabel* heading : {label3, label4}) {
    heading->setFont(HeadingFont());
    heading->setWordWrap(true);
  }
  QLabel* label1 = MakeLabel(band, "Label1", "TransQuadranoGestaro para QX7 V-2.6",
                             QRect(8, 72, 223, 13));
  label1->setFont(DialogFont(true));
  QPalette red = label1->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  label1->setPalette(red);

  const QIcon check = CheckMarkPicture();
  QPushButton* b_close = MakeButton(band, "BClose", "&Salir",
                                    QRect(256, 32, 89, 25), ClosePicture());
  QPushButton* button1 = MakeButton(band, "Button1", "F1 AYUDA",
                                    QRect(264, 63, 75, 18), QIcon());
  QPushButton* b_exportar = MakeButton(export_side, "BExportar", "Aceptar",
                                       QRect(96, 120, 89, 25), check);
  QPushButton* b_importar = MakeButton(import_side, "BImportar", "Aceptar",
                                       QRect(96, 120, 89, 25), check);
  setTabOrder(b_close, button1);
  setTabOrder(button1, b_exportar);
  setTabOrder(b_exportar, b_importar);
  b_close->setFocus();

  connect(b_exportar, &QPushButton::clicked, this, [this] { BExportarClick(); });
  connect(b_importar, &QPushButton::clicked, this, [this] { BImportarClick(); });
  connect(b_close, &QPushButton::clicked, this, [this] { close(); });
  connect(button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  // F1 anywhere in the window: every control here has help context 1.
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::WindowShortcut);
  connect(f1, &QShortcut::activated, this,
          [this] { Guarded([this] { help_.Context(kHelpContext); }); });
}

void TMForm::BuildFileDialog() {
  // No parent widget: an embedded window cannot parent a dialog; the
  // dialog is made transient for the right window each time it opens.
  open_dialog_xml_ = std::make_unique<QFileDialog>();
  QFileDialog& dialog = *open_dialog_xml_;
  dialog.setObjectName("OpenDialogXML");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(FromUtf8(OpenDialogSettings::kTitle));
  dialog.setNameFilter(QStringLiteral("*.xml"));
  dialog.setDefaultSuffix(FromUtf8(OpenDialogSettings::kDefaultExtension));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // the chosen file need not exist
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setDirectory(QString::fromStdString(setup_.dialog_folder.string()));
}

void TMForm::FormCreate() {
  state_.CodigoResultado = 0;
  const std::vector<std::string>& parameters = setup_.parameters;
  if (!HostModeRequested(parameters)) return;
  const int32_t handle = HostHandleFromText(parameters[1]);
  if (handle != 0) {
    const WId id = HostWindowId(handle);
    if (!HostWindowExists(id)) {
      throw Error("No existe la ventana anfitriona '" + parameters[1] +
                  "': la ventana sigue sin anfitrión");
    }
    host_window_ = EmbedInHost(*this, id);
  } else {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  }
  state_.ModoAnfitrion = static_cast<int32_t>(parameters.size());
}

void TMForm::Run() {
  Guarded([this] { FormShow(); });
  if (closed_) return;
  winId();  // the native window, whose frame (where known) is centred too
  move(CentrePosition());
  show();
}

void TMForm::FormShow() {
  // Decided on the parameters, not on host mode: an action still starts
  // when the handle was refused.
  switch (RequestedAction(setup_.parameters)) {
    case HostAction::kImportar:
      BImportarClick();
      break;
    case HostAction::kExportar:
      BExportarClick();
      break;
    case HostAction::kNone:
      break;
  }
}

QPoint TMForm::CentrePosition() const {
  QRect area;
  if (host_window_ != nullptr) {
    area = QRect(QPoint(0, 0), HostClientSize(host_window_->winId()));
  }
  if (area.isEmpty()) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0};
    area = screen->geometry();
  }
  // move() places the frame (none in host mode), so its size is centred.
  const QSize outer = frameGeometry().size();
  return {area.x() + std::max(0, (area.width() - outer.width()) / 2),
          area.y() + std::max(0, (area.height() - outer.height()) / 2)};
}

void TMForm::closeEvent(QCloseEvent* event) {
  // A failed write is reported, and the window closes all the same: a
  // window in host mode must stay closable while the file is unwritable.
  Guarded([this] { FormClose(); });
  event->accept();
  closed_ = true;
  emit Closed();
}

void TMForm::FormClose() {
  if (!state_.HostMode()) return;
  WriteResultCode(state_.CodigoResultado, setup_.executable_dir);
}

void TMForm::BExportarClick() { StartAction(setup_.exportar); }

void TMForm::BImportarClick() { StartAction(setup_.importar); }

void TMForm::StartAction(const FormSetup::Action& action) {
  Guarded([&] {
    if (action) action(state_, *this);
  });
}

void TMForm::Button1Click() {
  Guarded([this] {
    help_.SetHelpFile(std::string(kHelpFileName));
    help_.Contents();
  });
}

void TMForm::Guarded(const std::function<void()>& handler) {
  try {
    handler();
    return;
  } catch (const Error& error) {
    SetBusyPointer(false);
    ShowError(error.what());
  } catch (const std::exception& error) {
    SetBusyPointer(false);
    ShowError(error.what());
  }
}

void TMForm::ShowError(std::string_view text) {
  ShowErrorReport(text, TransientParent());
}

std::optional<std::string> TMForm::ChooseFile() {
  QFileDialog& dialog = *open_dialog_xml_;
  if (!last_chosen_path_.isEmpty()) dialog.selectFile(last_chosen_path_);
  dialog.winId();
  dialog.windowHandle()->setTransientParent(TransientParent());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  last_chosen_path_ = chosen.first();
  return last_chosen_path_.toStdString();
}

void TMForm::ShowMessage(std::string_view text) {
  ShowMessageBox(text, TransientParent());
}

void TMForm::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TMForm::CloseWindow() { close(); }

QWindow* TMForm::TransientParent() {
  if (host_window_ != nullptr) return host_window_;
  return isVisible() ? windowHandle() : nullptr;
}

}  // namespace tq
