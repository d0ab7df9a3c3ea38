// Host window checks and embedding (see host_window.h).
#include "app/host_window.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <string>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define TQ_HAVE_XCB 1
#endif

#include "platform/error.h"

namespace tq {
namespace {

#ifdef TQ_HAVE_XCB
// The X11 connection of the running application, or null when the platform
// is not X11 (the offscreen platform offers the interface without one).
xcb_connection_t* XcbConnection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}
#endif

}  // namespace

WId HostWindowId(int32_t handle) {
  return static_cast<WId>(static_cast<uint32_t>(handle));
}

bool HostWindowExists(WId id) {
#ifdef TQ_HAVE_XCB
  if (xcb_connection_t* connection = XcbConnection()) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection,
        xcb_get_window_attributes(connection, static_cast<xcb_window_t>(id)),
        &error);
    const bool exists = reply != nullptr && error == nullptr;
    std::free(reply);
    std::free(error);
    return exists;
  }
#endif
  (void)id;
  return true;
}

QSize HostClientSize(WId id) {
#ifdef TQ_HAVE_XCB
  if (xcb_connection_t* connection = XcbConnection()) {
    xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(
        connection, xcb_get_geometry(connection, static_cast<xcb_window_t>(id)),
        nullptr);
    if (reply == nullptr) return {};
    const QSize size(reply->width, reply->height);
    std::free(reply);
    return size;
  }
#endif
  (void)id;
  return {};
}

QWindow* EmbedInHost(QWidget& widget, WId id) {
  QWindow* host = QWindow::fromWinId(id);
  if (host == nullptr) {
    throw Error("No se puede colocar la ventana en la ventana anfitriona " +
                QString::number(static_cast<qulonglong>(id), 16)
                    .toUpper()
                    .toStdString() +
                ": el sistema de ventanas no lo permite");
  }
  widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  widget.winId();  // a native window, so that it can take a foreign parent
  widget.windowHandle()->setParent(host);
  return host;
}

}  // namespace tq
