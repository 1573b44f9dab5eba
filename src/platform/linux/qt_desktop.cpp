// What the program takes from the desktop: whether a compositing manager
// runs (without one a window's constant alpha is not shown), and the
// program's icon.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/linux/qt_ui.h"

// Last: Xlib's macros (None, Bool, ...) would clash with the Qt headers.
#include <X11/Xlib.h>

namespace duskpane {

namespace {

// The screen the program shows on: the display's default screen.
int DefaultScreenNumber(QNativeInterface::QX11Application& x11) {
    if (Display* display = x11.display()) return DefaultScreen(display);
    // ":0.1" names screen 1; without a screen part it is screen 0.
    const char* name = std::getenv("DISPLAY");
    const std::string text = name ? name : "";
    const size_t colon = text.rfind(':');
    const size_t dot = colon == std::string::npos ? std::string::npos : text.find('.', colon);
    return dot == std::string::npos ? 0 : std::atoi(text.c_str() + dot + 1);
}

}  // namespace

// A compositing manager owns the selection _NET_WM_CM_S<screen> while it
// runs (the EWMH rule for compositing managers).
bool CompositorRunning() {
    auto* app = qGuiApp;
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return true;
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreenNumber(*x11));
    const xcb_intern_atom_cookie_t atomCookie =
        xcb_intern_atom(connection, 1, uint16_t(name.size()), name.c_str());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    // The atom was never made: nobody ever owned the selection.
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    const xcb_get_selection_owner_cookie_t ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, ownerCookie, nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// Drawn on a 32-unit grid scaled to the size asked for; it needs no
// QGuiApplication, so a build tool can write it out.
QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // The pane: a dark window with a slightly lighter frame.
    QLinearGradient night(0, 0, 0, 32);
    night.setColorAt(0, QColor(34, 40, 68));
    night.setColorAt(1, QColor(14, 16, 30));
    painter.setPen(QPen(QColor(90, 100, 140), 1.0));
    painter.setBrush(night);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 4, 4);

    // The crescent: a disc with an offset disc taken away.
    QPainterPath disc;
    disc.addEllipse(QPointF(14.5, 16.5), 10, 10);
    QPainterPath bite;
    bite.addEllipse(QPointF(19.5, 12.5), 9, 9);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 226, 140));
    painter.drawPath(disc.subtracted(bite));

    // Two stars in the dark part.
    painter.setBrush(QColor(235, 238, 255));
    painter.drawEllipse(QPointF(24.0, 17.5), 1.3, 1.3);
    painter.drawEllipse(QPointF(25.5, 8.0), 0.9, 0.9);
    painter.end();
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    return icon;
}

}  // namespace duskpane
