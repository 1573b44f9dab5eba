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

Win32FormPeer::Win32FormPeer(Win32Ui& ui, Form& form) : Win32ControlPeer(ui, form) {
    rendered_ = form.Border == BorderStyle::None;
    dimmer_ = rendered_ && form.Style == FormStyle::Normal && form.AlphaBlend;
    // Dialogs belong to the main window, so that they stay above it (it is
    // always on top); the screen layers belong to nobody, so that raising
    // one never moves the other.
    HWND owner = rendered_ ? nullptr : ui.MainWindow();
    if (!owner && !rendered_) owner = ui.ApplicationWindow();
    HWND window = CreateWindowExW(ExStyleFor(form, rendered_), kFormClass, Widen(form.Caption()).c_str(),
                                  StyleFor(form, rendered_), form.Left(), form.Top(), std::max(form.Width(), 1),
                                  std::max(form.Height(), 1), owner, nullptr, ui.Instance(), nullptr);
    Attach(window, false);
    for (Change what : {Change::Text, Change::Colour, Change::Bounds, Change::Alpha, Change::Layered,
                        Change::Enabled, Change::Visible})
        Apply(what);
}

Win32FormPeer::~Win32FormPeer() {
    ui_.EnableOthers(this);
    if (window_ && IsWindowVisible(window_)) ShowWindow(window_, SW_HIDE);
}

Form& Win32FormPeer::GetForm() const { return static_cast<Form&>(control_); }

void Win32FormPeer::Apply(Change what) {
    if (!window_) return;
    Form& form = GetForm();
    switch (what) {
        case Change::Bounds:
            ApplyBounds();
            break;
        case Change::Visible:
            if (form.Visible())
                ScheduleShow();
            else
                Hide();
            break;
        case Change::Enabled:
            EnableWindow(window_, form.Enabled());
            break;
        case Change::Text:
            SetWindowTextW(window_, Widen(form.Caption()).c_str());
            break;
        case Change::Colour:
        case Change::Picture:
            Invalidate(RECT{0, 0, form.Width(), form.Height()});
            break;
        case Change::Alpha:
        case Change::Layered:
            ApplyLayering();
            break;
        case Change::ZOrder:
            // Raised to the top of the ordinary windows, below the always-on-top ones.
            if (IsWindowVisible(window_)) {
                SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                ui_.Restack();
            } else {
                raisePending_ = true;
            }
            break;
        case Change::Modal:
            if (form.IsModal())
                ui_.DisableOthers(this, window_);
            else
                ui_.EnableOthers(this);
            break;
        default:
            break;
    }
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
    if (!window_) return;
    const Form& form = GetForm();
    if (rendered_) {
        SetWindowPos(window_, nullptr, form.Left(), form.Top(), form.Width(), form.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        Invalidate(RECT{0, 0, form.Width(), form.Height()});
        return;
    }
    // A dialog's size is its client area's.
    RECT outer{0, 0, form.Width(), form.Height()};
    AdjustWindowRectEx(&outer, DWORD(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (IsWindowVisible(window_) && form.Position == FormPosition::Designed) Place();
}

// Where a dialog goes when it shows: its designed place, the middle of the
// screen, or the middle of its owner (the main window).
void Win32FormPeer::Place() {
    const Form& form = GetForm();
    RECT outer;
    GetWindowRect(window_, &outer);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    const ScreenSize screen = ui_.PrimaryScreen();
    RECT around{0, 0, screen.width, screen.height};
    switch (form.Position) {
        case FormPosition::Designed:
            SetWindowPos(window_, nullptr, form.Left(), form.Top(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return;
        case FormPosition::ScreenCenter:
            break;
        case FormPosition::OwnerCenter: {
            HWND owner = ui_.MainWindow();
            if (owner && owner != window_ && IsWindowVisible(owner)) GetWindowRect(owner, &around);
            break;
        }
    }
    SetWindowPos(window_, nullptr, around.left + (around.right - around.left - width) / 2,
                 around.top + (around.bottom - around.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormPeer::SyncControls(const Control& parent) {
    for (const Control* child : parent.Children()) {
        if (Win32ControlPeer* peer = ui_.PeerOf(*child)) peer->SyncUnannounced();
        SyncControls(*child);
    }
}

// The kit reports the form visible once its show handler has run, after the
// windows the handler showed (the dimming layer under the main window); the
// window appears from the queue, in that order.
void Win32FormPeer::ScheduleShow() {
    if (showPending_) return;
    showPending_ = PostMessageW(window_, kShowNow, 0, 0) != FALSE;
    if (!showPending_) ShowNow();
}

void Win32FormPeer::ShowNow() {
    showPending_ = false;
    Form& form = GetForm();
    if (!form.Visible() || IsWindowVisible(window_)) return;
    if (rendered_) {
        ApplyBounds();
    } else {
        SyncControls(form);
        ApplyBounds();
        Place();
    }
    ShowWindow(window_, SW_SHOW);
    if (raisePending_) {
        raisePending_ = false;
        SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    ui_.Restack();
    // The whole window with its controls is painted before anything else runs.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!rendered_) {
        SetForegroundWindow(window_);
        FocusFirstControl();
    }
}

void Win32FormPeer::Hide() {
    showPending_ = false;
    if (!IsWindowVisible(window_)) return;
    const bool wasActive = GetActiveWindow() == window_;
    // A modal form gives the others back first, so that the system can
    // activate its owner as it goes.
    ui_.EnableOthers(this);
    ShowWindow(window_, SW_HIDE);
    if (!rendered_ && wasActive && (!GetActiveWindow() || GetActiveWindow() == window_)) ui_.ActivateMainForm();
}

// A dialog that shows gives the focus to the control that had it, or else
// to the first control in tab order, as the window system does.
void Win32FormPeer::FocusFirstControl() {
    Form& form = GetForm();
    if (Control* active = form.ActiveControl(); active && active->CanFocus()) {
        if (HWND target = ui_.WindowOf(*active)) ui_.SetFocusQuietly(target);
        return;
    }
    for (Control* control : form.TabOrderList())
        if (control->CanFocus() && control->TabStop()) {
            form.UserFocus(control);
            return;
        }
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
    if (rendered_) {
        stale_ = true;
        InvalidateRect(window_, &rect, FALSE);
    } else {
        InvalidateRect(window_, nullptr, TRUE);
    }
}

// Paints the changed part from the kit's composed picture, made anew only
// when something changed since the last paint.
void Win32FormPeer::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    const Form& form = GetForm();
    if (frame_.Width() != form.Width() || frame_.Height() != form.Height()) {
        frame_ = form.Render();
        stale_ = false;
        ++renders_;
    } else if (stale_) {
        // Every change invalidates its own rectangle, so the part to paint
        // covers all that changed since the last paint: only it is composed.
        const int left = std::max<int>(paint.rcPaint.left, 0);
        const int top = std::max<int>(paint.rcPaint.top, 0);
        const int right = std::min<int>(paint.rcPaint.right, frame_.Width());
        const int bottom = std::min<int>(paint.rcPaint.bottom, frame_.Height());
        if (right > left && bottom > top) {
            const Bitmap32 part = form.RenderPart(left, top, right - left, bottom - top);
            for (int y = top; y < bottom; ++y)
                std::copy_n(part.Row(y - top), right - left, frame_.Row(y) + left);
        }
        stale_ = false;
        ++renders_;
    }
    DrawPixels(dc, paint.rcPaint.left, paint.rcPaint.top, frame_, paint.rcPaint);
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
            ShowNow();
            return 0;
        case WM_ERASEBKGND:
            if (!rendered_) {
                RECT area;
                GetClientRect(window_, &area);
                FillRect(reinterpret_cast<HDC>(wParam), &area, ui_.Brush(GetForm().Colour()));
            }
            return 1;
        case WM_PAINT:
            if (!rendered_) break;
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
            if (rendered_) {
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
