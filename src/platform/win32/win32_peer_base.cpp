// The base of the Win32 peers: the native window a peer owns, the changes
// every kind shares, colours, fonts, and the window procedures that lead
// from a native window back to its peer.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/win32_peers.h"
#include "platform/win32/win32_ui.h"
#include "ui/form.h"

namespace duskpane {

COLORREF ToColorRef(Pixel colour) { return RGB(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

Pixel BackgroundOf(const Control& control) {
    const Control* parent = control.Parent();
    return parent ? parent->Colour() : control.Colour();
}

void DrawPixels(HDC dc, int x, int y, const Bitmap32& picture, const RECT& part) {
    const int left = std::max<int>(part.left, 0);
    const int top = std::max<int>(part.top, 0);
    const int right = std::min<int>(part.right, picture.Width());
    const int bottom = std::min<int>(part.bottom, picture.Height());
    if (right <= left || bottom <= top) return;
    const int width = right - left;
    const int height = bottom - top;
    // Whole rows are handed over as they lie; a narrower part is gathered.
    std::vector<Pixel> rows;
    if (width != picture.Width()) {
        rows.resize(size_t(width) * size_t(height));
        for (int row = 0; row < height; ++row)
            std::copy_n(picture.Row(top + row) + left, width, rows.begin() + ptrdiff_t(row) * width);
    }
    const Pixel* bits = rows.empty() ? picture.Row(top) : rows.data();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as the picture's rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, x + (left - part.left), y + (top - part.top), DWORD(width), DWORD(height), 0, 0, 0,
                      UINT(height), bits, &info, DIB_RGB_COLORS);
}

// ---------------------------------------------------------------- the base

Win32ControlPeer::Win32ControlPeer(Win32Ui& ui, Control& control) : ui_(ui), control_(control) {
    ui_.Register(*this, control_, nullptr);
}

Win32ControlPeer::~Win32ControlPeer() {
    ui_.Unregister(*this);
    if (!window_) return;
    if (subclassed_)
        RemoveWindowSubclass(window_, SubclassProc, 1);
    else
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void Win32ControlPeer::Attach(HWND window, bool subclass) {
    window_ = window;
    if (!window_) return;
    if (subclass) {
        subclassed_ = SetWindowSubclass(window_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    } else {
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ui_.Register(*this, control_, window_);
}

void Win32ControlPeer::Changed(Change what) { Apply(what); }

bool Win32ControlPeer::ShowsNow() const { return control_.Visible(); }

void Win32ControlPeer::Apply(Change what) {
    if (!window_) return;
    switch (what) {
        case Change::Bounds:
            ApplyBounds();
            break;
        case Change::Visible:
            ShowWindow(window_, ShowsNow() ? SW_SHOWNA : SW_HIDE);
            break;
        case Change::Enabled:
            EnableWindow(window_, control_.Enabled());
            break;
        case Change::Focus: {
            // The native focus follows at once in the active window; another
            // window gets it back when it is activated.
            const HWND top = GetAncestor(window_, GA_ROOT);
            if (GetActiveWindow() == top && IsWindowVisible(window_)) ui_.SetFocusQuietly(window_);
            break;
        }
        case Change::Colour:
            InvalidateRect(window_, nullptr, TRUE);
            break;
        case Change::Font: {
            const Form* form = control_.ParentForm();
            const std::string name = form && !form->FontName.empty() ? form->FontName : "MS Shell Dlg 2";
            const int height = form ? form->FontHeight : 12;
            SendMessageW(window_, WM_SETFONT,
                         reinterpret_cast<WPARAM>(ui_.Font(name, height, control_.FontUnderline())), TRUE);
            break;
        }
        default:
            break;
    }
}

void Win32ControlPeer::ApplyBounds() {
    if (window_)
        SetWindowPos(window_, nullptr, control_.Left(), control_.Top(), control_.Width(), control_.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32ControlPeer::ApplyAll() {
    for (Change what : kEveryChange) Apply(what);
}

LRESULT Win32ControlPeer::Colours(HDC dc, Pixel text, Pixel background) {
    SetTextColor(dc, ToColorRef(text));
    SetBkColor(dc, ToColorRef(background));
    return reinterpret_cast<LRESULT>(ui_.Brush(background));
}

bool Win32ControlPeer::Reflect(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            result = Colours(reinterpret_cast<HDC>(wParam), control_.FontColour(), BackgroundOf(control_));
            return true;
        default:
            return false;
    }
}

LRESULT Win32ControlPeer::OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Win32ControlPeer::OwnClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* peer = reinterpret_cast<Win32ControlPeer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!peer || peer->window_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    return peer->OwnWindowProc(message, wParam, lParam);
}

// A control that gets the focus some other way than through the kit (the
// window system's own moves) tells the kit afterwards.
LRESULT Win32ControlPeer::Subclassed(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = DefSubclassProc(window_, message, wParam, lParam);
    if (message == WM_SETFOCUS && !ui_.FocusGuarded()) {
        Form* form = control_.ParentForm();
        if (form && form->ActiveControl() != &control_ && control_.CanFocus()) form->UserFocus(&control_);
    }
    return result;
}

LRESULT CALLBACK Win32ControlPeer::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR data) {
    auto* peer = reinterpret_cast<Win32ControlPeer*>(data);
    if (!peer || peer->window_ != hwnd) return DefSubclassProc(hwnd, message, wParam, lParam);
    return peer->Subclassed(message, wParam, lParam);
}

}  // namespace duskpane
