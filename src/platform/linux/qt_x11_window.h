// What the program tells the window manager and the compositing manager
// about its windows beyond what Qt's API says (EWMH states and hints), and
// what it asks the X server about them. Without an X11 connection (Qt's
// offscreen platform in the tests) every call does nothing.
#pragma once

#include <initializer_list>
#include <string>

class QPoint;
class QWindow;

namespace duskpane {

// Adds EWMH states ("_NET_WM_STATE_SKIP_TASKBAR", ...) to a window that is
// not mapped yet: the window manager reads them when the window maps, and
// Qt adds its own (full screen, above, modal) to them.
void AddWindowStates(QWindow& window, std::initializer_list<const char*> states);

// The window's _NET_WM_WINDOW_TYPE, one type ("_NET_WM_WINDOW_TYPE_NORMAL").
void SetWindowType(QWindow& window, const char* type);

// A window that never takes the keyboard (Qt::WindowDoesNotAcceptFocus
// gives it WM_HINTS input = False) also leaves WM_TAKE_FOCUS out of its
// WM_PROTOCOLS: with it, window managers still count it as focusable and
// hand it the focus when it maps, which it ignores.
void RefuseKeyboard(QWindow& window);

// _NET_WM_BYPASS_COMPOSITOR = 2: a compositing manager keeps compositing the
// window even when it covers the whole screen, instead of giving it the
// screen directly, which would show it opaque.
void KeepComposited(QWindow& window);

// The window asked for an alpha channel but its X visual has none (it is not
// 32 bits deep): a compositing manager would show it opaque.
bool AlphaVisualRefused(QWindow& window);

// Where the window's top-left corner is on the screen, asked of the X
// server (Qt keeps what the window manager last told, which some never do).
QPoint ScreenPosition(QWindow& window);

// No window has the keyboard: the X input focus is on none, on the root or
// follows the pointer, as where a window manager gives the focus to no one
// (weston without a keyboard of its own).
bool KeyboardUnowned();

// Gives the keyboard to the window itself (SetInputFocus).
void TakeKeyboard(QWindow& window);

// The X server is XWayland, whose Wayland compositor draws the X windows.
bool XWaylandServer();

// The running window manager's own name (EWMH _NET_WM_NAME of the window
// that _NET_SUPPORTING_WM_CHECK names); empty without one.
std::string WindowManagerName();

}  // namespace duskpane
