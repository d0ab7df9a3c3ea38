// The host's window: the window of another process that the converter's
// window is placed in, without border, in host mode.
//
// The host gives its window as a native handle (the X11 window id on Linux,
// the HWND on Windows). The handle is checked with the windowing system
// before it is used, so that a handle that names no window ends in a clear
// error instead of a failed window creation.
#pragma once

#include <QSize>
#include <QWindow>
#include <cstdint>

class QWidget;

namespace tq {

// The host window's handle as a native window id: the same 32 bits.
WId HostWindowId(int32_t handle);

// Whether `id` names an existing window. On X11 the server is asked; where
// the platform cannot tell (no X11 connection) the answer is true and
// EmbedInHost decides.
bool HostWindowExists(WId id);

// The size of the host window's client area as the windowing system reports
// it; an empty size when unknown. (Qt's foreign windows report no size.)
QSize HostClientSize(WId id);

// Makes `widget` (a top-level widget) a borderless child of the foreign
// window `id`. Returns the foreign window, owned by the caller, or raises
// Error when the platform cannot wrap foreign windows. The foreign window
// must outlive the widget's native window: unparent it before deleting.
// Never changes the foreign window's geometry (that would move the host).
QWindow* EmbedInHost(QWidget& widget, WId id);

}  // namespace tq
