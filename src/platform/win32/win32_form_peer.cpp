// The Win32 peer of a form: dialogs as fixed captioned windows with their
// controls, and the borderless screen layers that paint the kit's composed
// picture, one colour-keyed and always on top, one at a constant alpha.
#include <windows.h>

#include <windowsx.h>

#include <algorithm>

#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ui.h"
#include "ui/form.h"

namespace duskpane {

namespace {

// Posted to a form's window: it appears once its show handler has run.
constexpr UINT kShowNow = WM_APP + 1;
// Posted to a form's window that was activated: the always-on-top forms are
// put back above it.
constexpr UINT kRestack = WM_APP + 3;

DWORD StyleFor(const Form& form, bool rendered) {
    if (rendered) return WS_POPUP | WS_CLIPCHILDREN;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (!form.CloseBoxOnly) style |= WS_MINIMIZEBOX;
    return style;
}

// The screen layers have no taskbar buttons of their own: the application's
// window carries the program's one.
DWORD ExStyleFor(const Form& form, bool rendered) {
    if (rendered) return WS_EX_TOOLWINDOW | (form.Style == FormStyle::StayOnTop ? WS_EX_TOPMOST : 0);
    return WS_EX_DLGMODALFRAME;
}

}  // namespace

Win32FormPeer::Win32FormPeer(Win32Ui& ui, Form& form) : Win32ControlPeer(ui, form), FormPeerBase(form) {
    // Dialogs belong to the main window, so that they stay above it (it is
    // always on top); the screen layers belong to nobody, so that raising
    // one never moves the other.
    HWND owner = Rendered() ? nullptr : ui.MainWindow();
    if (!owner && !Rendered()) owner = ui.ApplicationWindow();
    HWND window = CreateWindowExW(ExStyleFor(form, Rendered()), kFormClass, Widen(form.Caption()).c_str(),
                                  StyleFor(form, Rendered()), form.Left(), form.Top(), std::max(form.Width(), 1),
                                  std::max(form.Height(), 1), owner, nullptr, ui.Instance(), nullptr);
    Attach(window, false);
    ApplyAllForm();
}

Win32FormPeer::~Win32FormPeer() {
    ui_.EnableOthers(this);
    if (window_ && IsWindowVisible(window_)) ShowWindow(window_, SW_HIDE);
}

void Win32FormPeer::Apply(Change what) {
    if (window_) ApplyFormChange(what);
}

void Win32FormPeer::SetWindowEnabled(bool enabled) { EnableWindow(window_, enabled); }

void Win32FormPeer::SetTitle(const std::string& title) { SetWindowTextW(window_, Widen(title).c_str()); }

void Win32FormPeer::Repaint(const Rect& area) { Invalidate(RECT{area.left, area.top, area.right, area.bottom}); }

// Raised to the top of the ordinary windows, below the always-on-top ones.
void Win32FormPeer::Raise() {
    if (IsWindowVisible(window_)) {
        SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ui_.Restack();
    } else {
        raisePending_ = true;
    }
}

void Win32FormPeer::SetModal(bool modal) {
    if (modal)
        ui_.DisableOthers(this, window_);
    else
        ui_.EnableOthers(this);
}

// Colour-keyed: pure black is see-through and lets clicks through; with a
// constant alpha: the whole window at that alpha.
void Win32FormPeer::ApplyLayering() {
    const Form& form = GetForm();
    const LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
    const bool key = form.ColourKeyBlack();
    const bool alpha = form.AlphaBlend;
    if (!key && !alpha) {
        if (exStyle & WS_EX_LAYERED) {
            SetWindowLongW(window_, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
            RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
        }
        return;
    }
    if (!(exStyle & WS_EX_LAYERED)) SetWindowLongW(window_, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    const DWORD flags = (key ? LWA_COLORKEY : 0) | (alpha ? LWA_ALPHA : 0);
    SetLayeredWindowAttributes(window_, RGB(0, 0, 0), alpha ? form.AlphaBlendValue() : 0, flags);
}

void Win32FormPeer::ApplyBounds() {
    if (window_) ApplyFormBounds();
}

bool Win32FormPeer::IsShown() const { return IsWindowVisible(window_) != FALSE; }

void Win32FormPeer::SetFrame(const Rect& area) {
    SetWindowPos(window_, nullptr, area.left, area.top, area.Width(), area.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

// A dialog's size is its client area's.
void Win32FormPeer::SetClientSize(int width, int height) {
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, DWORD(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Win32FormPeer::OuterFrame() const {
    RECT outer;
    GetWindowRect(window_, &outer);
    return Rect{outer.left, outer.top, outer.right, outer.bottom};
}

Rect Win32FormPeer::ScreenArea() const {
    const ScreenSize screen = ui_.PrimaryScreen();
    return Rect{0, 0, screen.width, screen.height};
}

std::optional<Rect> Win32FormPeer::OwnerFrame() const {
    HWND owner = ui_.MainWindow();
    if (!owner || owner == window_ || !IsWindowVisible(owner)) return std::nullopt;
    RECT area;
    GetWindowRect(owner, &area);
    return Rect{area.left, area.top, area.right, area.bottom};
}

void Win32FormPeer::MoveFrameTo(int left, int top) {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormPeer::FocusQuietly(Control& control) {
    if (HWND target = ui_.WindowOf(control)) ui_.SetFocusQuietly(target);
}

bool Win32FormPeer::QueueShow() { return PostMessageW(window_, kShowNow, 0, 0) != FALSE; }

void Win32FormPeer::Appear() {
    ShowWindow(window_, SW_SHOW);
    if (raisePending_) {
        raisePending_ = false;
        SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    ui_.Restack();
    // The whole window with its controls is painted before anything else runs.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!Rendered()) SetForegroundWindow(window_);
}

void Win32FormPeer::Hide() {
    if (!IsWindowVisible(window_)) return;
    const bool wasActive = GetActiveWindow() == window_;
    // A modal form gives the others back first, so that the system can
    // activate its owner as it goes.
    ui_.EnableOthers(this);
    ShowWindow(window_, SW_HIDE);
    if (!Rendered() && wasActive && (!GetActiveWindow() || GetActiveWindow() == window_)) ui_.ActivateMainForm();
}

// An activated dialog gives the keyboard to the kit's focused control.
void Win32FormPeer::RestoreFocus() {
    Form& form = GetForm();
    Control* active = form.ActiveControl();
    HWND target = active && active->CanFocus() ? ui_.WindowOf(*active) : nullptr;
    ui_.SetFocusQuietly(target ? target : window_);
}

void Win32FormPeer::Invalidate(const RECT& rect) {
    if (!window_) return;
    if (Rendered()) {
        InvalidateRect(window_, &rect, FALSE);
    } else {
        InvalidateRect(window_, nullptr, TRUE);
    }
}

// Paints the part the system asks for from the kit's composed picture, made
// for the paint itself: the window's own surface is the only copy of its
// pixels.
void Win32FormPeer::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    const Form& form = GetForm();
    const int left = std::max<int>(paint.rcPaint.left, 0);
    const int top = std::max<int>(paint.rcPaint.top, 0);
    const int right = std::min<int>(paint.rcPaint.right, form.Width());
    const int bottom = std::min<int>(paint.rcPaint.bottom, form.Height());
    form.RenderBands(left, top, right - left, bottom - top, [&](int bandTop, Bitmap32& band) {
        DrawPixels(dc, left, bandTop, band, RECT{0, 0, band.Width(), band.Height()});
    });
    EndPaint(window_, &paint);
}

// A right click on a control opens the menu of the control or of the
// nearest parent that has one.
void Win32FormPeer::ContextMenu(HWND target, LPARAM at) {
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) GetCursorPos(&point);
    Control* control = &GetForm();
    for (HWND w = target; w && w != window_; w = GetParent(w))
        if (Win32ControlPeer* peer = ui_.PeerAtWindow(w)) {
            control = &peer->GetControl();
            break;
        }
    control->UserContextMenu(point.x, point.y);
}

LRESULT Win32FormPeer::OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ui_.ReflectToChild(message, wParam, lParam, result)) return result;
    switch (message) {
        case kShowNow:
            ShowWhenDue();
            return 0;
        case WM_ERASEBKGND:
            if (!Rendered()) {
                RECT area;
                GetClientRect(window_, &area);
                FillRect(reinterpret_cast<HDC>(wParam), &area, ui_.Brush(GetForm().Colour()));
            }
            return 1;
        case WM_PAINT:
            if (!Rendered()) break;
            Paint();
            return 0;
        case WM_CLOSE:
            // The close box, Alt+F4: the kit decides; the window is only ever hidden.
            GetForm().UserCloseBox();
            return 0;
        case WM_CONTEXTMENU:
            ContextMenu(reinterpret_cast<HWND>(wParam), lParam);
            return 0;
        case kRestack:
            ui_.Restack();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) break;
            if (Rendered()) {
                if (GetForm().Style != FormStyle::StayOnTop) PostMessageW(window_, kRestack, 0, 0);
                break;
            }
            RestoreFocus();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The settings are saved before the system ends the process.
            if (wParam) ui_.RequestEnd(true);
            return 0;
        case WM_DISPLAYCHANGE:
            ui_.FollowPrimaryScreen();
            break;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace duskpane
