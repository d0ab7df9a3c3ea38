// The two ways in which the converter speaks to the user.
//
// The message box tells the outcome of a run ("Proceso finalizado"); the
// error report shows an error that ended an event handler. Both are modal,
// carry the application title as caption and are centred on the screen; both
// return only when the user has dismissed them. Texts are UTF-8.
//
// `transient_for` is the window the box belongs to for the window manager
// (the host's window in host mode); it may be null. The boxes never have a
// parent widget: an embedded window is no top-level window to parent them.
#pragma once

#include <string>
#include <string_view>

class QWindow;

namespace tq {

inline constexpr std::string_view kApplicationTitle = "TransQuadrixGestaro";
inline constexpr std::string_view kMessageButton = "Aceptar";

// The message box: the text, no icon, one button "Aceptar".
void ShowMessageBox(std::string_view text, QWindow* transient_for = nullptr);

// The error report: the text after the full-stop rule, a stop icon, one OK
// button.
void ShowErrorReport(std::string_view text, QWindow* transient_for = nullptr);

// The full-stop rule of the error report: "." is added when the text's last
// character has a code greater than that of "." (so never after "!" or ":",
// always after a letter or any non-ASCII character); an empty text stays
// empty.
std::string WithFullStop(std::string_view text);

}  // namespace tq
