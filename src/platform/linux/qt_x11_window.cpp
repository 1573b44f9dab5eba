// EWMH states and hints of the program's windows, and what the X server
// tells about its visuals and its kind, through Qt's own X connection.
#include "platform/linux/qt_x11_window.h"

#include <QGuiApplication>
#include <QPoint>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace duskpane {

namespace {

template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_connection_t* Connection() {
    auto* app = qGuiApp;
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A window's property that holds a list of atoms; empty when it has none.
std::vector<xcb_atom_t> AtomList(xcb_connection_t* connection, xcb_window_t id, xcb_atom_t property) {
    const xcb_get_property_cookie_t cookie = xcb_get_property(connection, 0, id, property, XCB_ATOM_ATOM, 0, 1024);
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_ATOM) return {};
    const auto* held = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    return {held, held + xcb_get_property_value_length(reply.get()) / 4};
}

void SetAtomList(xcb_connection_t* connection, xcb_window_t id, xcb_atom_t property,
                 const std::vector<xcb_atom_t>& atoms) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, property, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
                        atoms.data());
    xcb_flush(connection);
}

}  // namespace

void AddWindowStates(QWindow& window, std::initializer_list<const char*> states) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t property = Atom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms = AtomList(connection, id, property);
    for (const char* name : states) {
        const xcb_atom_t atom = Atom(connection, name);
        if (atom != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            atoms.push_back(atom);
    }
    SetAtomList(connection, id, property, atoms);
}

void RefuseKeyboard(QWindow& window) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t property = Atom(connection, "WM_PROTOCOLS");
    std::vector<xcb_atom_t> protocols = AtomList(connection, id, property);
    protocols.erase(std::remove(protocols.begin(), protocols.end(), Atom(connection, "WM_TAKE_FOCUS")),
                    protocols.end());
    SetAtomList(connection, id, property, protocols);
}

void SetWindowType(QWindow& window, const char* type) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    const xcb_atom_t atom = Atom(connection, type);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
                        Atom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &atom);
    xcb_flush(connection);
}

void KeepComposited(QWindow& window) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    const uint32_t neverBypass = 2;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
                        Atom(connection, "_NET_WM_BYPASS_COMPOSITOR"), XCB_ATOM_CARDINAL, 32, 1, &neverBypass);
    xcb_flush(connection);
}

bool AlphaVisualRefused(QWindow& window) {
    xcb_connection_t* connection = Connection();
    if (!connection) return false;
    const xcb_get_geometry_cookie_t cookie = xcb_get_geometry(connection, xcb_drawable_t(window.winId()));
    ReplyPtr<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(connection, cookie, nullptr), &std::free);
    return geometry && geometry->depth != 32;
}

QPoint ScreenPosition(QWindow& window) {
    xcb_connection_t* connection = Connection();
    if (!connection) return window.position();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) return window.position();
    const xcb_translate_coordinates_cookie_t cookie =
        xcb_translate_coordinates(connection, xcb_window_t(window.winId()), screen->root, 0, 0);
    ReplyPtr<xcb_translate_coordinates_reply_t> reply(xcb_translate_coordinates_reply(connection, cookie, nullptr),
                                                      &std::free);
    return reply ? QPoint(reply->dst_x, reply->dst_y) : window.position();
}

bool KeyboardUnowned() {
    xcb_connection_t* connection = Connection();
    if (!connection) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    ReplyPtr<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    if (!focus) return false;
    return focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
           (screen && focus->focus == screen->root);
}

void TakeKeyboard(QWindow& window) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window.winId()), XCB_CURRENT_TIME);
    xcb_flush(connection);
}

bool XWaylandServer() {
    xcb_connection_t* connection = Connection();
    if (!connection) return false;
    // XWayland 23.1 and later name themselves with an extension; earlier
    // ones only by the names of their screens' outputs.
    const char name[] = "XWAYLAND";
    const xcb_query_extension_cookie_t cookie = xcb_query_extension(connection, uint16_t(std::strlen(name)), name);
    ReplyPtr<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(connection, cookie, nullptr), &std::free);
    if (reply && reply->present) return true;
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->name().startsWith(QLatin1String(name))) return true;
    return false;
}

std::string WindowManagerName() {
    xcb_connection_t* connection = Connection();
    if (!connection) return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) return {};
    const xcb_get_property_cookie_t check = xcb_get_property(
        connection, 0, screen->root, Atom(connection, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1);
    ReplyPtr<xcb_get_property_reply_t> checkReply(xcb_get_property_reply(connection, check, nullptr), &std::free);
    if (!checkReply || checkReply->format != 32 || xcb_get_property_value_length(checkReply.get()) != 4) return {};
    const xcb_window_t wm = *static_cast<const xcb_window_t*>(xcb_get_property_value(checkReply.get()));
    const xcb_get_property_cookie_t name = xcb_get_property(connection, 0, wm, Atom(connection, "_NET_WM_NAME"),
                                                            Atom(connection, "UTF8_STRING"), 0, 256);
    ReplyPtr<xcb_get_property_reply_t> nameReply(xcb_get_property_reply(connection, name, nullptr), &std::free);
    if (!nameReply || nameReply->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(nameReply.get())),
            size_t(xcb_get_property_value_length(nameReply.get()))};
}

}  // namespace duskpane
