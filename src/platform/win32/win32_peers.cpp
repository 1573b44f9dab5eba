// The Win32 peers of the child controls: labels, edit boxes, buttons, radio
// buttons, track bars, pictures, paint boxes, panels and group boxes.
#include "platform/win32/win32_peers.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ui.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

namespace {

HWND ParentWindow(Win32Ui& ui, const Control& control) {
    Win32ControlPeer* parent = control.Parent() ? ui.PeerOf(*control.Parent()) : nullptr;
    return parent ? parent->Window() : nullptr;
}

// A child window of the parent's window, above the siblings made before it
// as the kit draws them.
HWND CreateChild(Win32Ui& ui, const Control& control, const wchar_t* windowClass, DWORD style,
                 DWORD exStyle = 0) {
    HWND parent = ParentWindow(ui, control);
    if (!parent) return nullptr;
    HWND window = CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | style,
                                  control.Left(), control.Top(), control.Width(), control.Height(), parent,
                                  nullptr, ui.Instance(), nullptr);
    if (window) SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return window;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(std::max(got, 0)));
    return text;
}

// A label sizes itself to its text when it is given no width; with a width
// it keeps its box and wraps its words.
class LabelPeer : public Win32ControlPeer {
public:
    LabelPeer(Win32Ui& ui, Control& control) : Win32ControlPeer(ui, control) {
        Attach(CreateChild(ui, control, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_NOTIFY), true);
        ApplyAll();
    }
    ~LabelPeer() override {
        if (tooltip_) DestroyWindow(tooltip_);
    }

protected:
    void SyncUnannounced() override { Apply(Change::Font); }

    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (!window_) return;
        if (what == Change::Text) {
            SetWindowTextW(window_, Widen(control_.Caption()).c_str());
            ApplyBounds();
        } else if (what == Change::Font) {
            SyncHint();
            ApplyBounds();
            InvalidateRect(window_, nullptr, TRUE);
        }
    }

    void ApplyBounds() override {
        const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE) & ~LONG_PTR(SS_TYPEMASK);
        if (control_.Width() > 0) {
            SetWindowLongPtrW(window_, GWL_STYLE, style | SS_LEFT);
            Win32ControlPeer::ApplyBounds();
            return;
        }
        SetWindowLongPtrW(window_, GWL_STYLE, style | SS_LEFTNOWORDWRAP);
        HDC dc = GetDC(window_);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        const std::wstring text = Widen(control_.Caption());
        RECT size{0, 0, 0, 0};
        DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &size, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
        if (old) SelectObject(dc, old);
        ReleaseDC(window_, dc);
        SetWindowPos(window_, nullptr, control_.Left(), control_.Top(), text.empty() ? 0 : size.right,
                     size.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    LRESULT Subclassed(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_SETCURSOR && control_.HandCursor()) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        return Win32ControlPeer::Subclassed(message, wParam, lParam);
    }

    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED) {
            ui_.Deliver([control = &control_] { control->Click(); });
            result = 0;
            return true;
        }
        return Win32ControlPeer::Reflect(message, wParam, lParam, result);
    }

private:
    // The hint shows as a tooltip over the label.
    void SyncHint() {
        if (control_.Hint() == hint_) return;
        hint_ = control_.Hint();
        hintText_ = Widen(hint_);
        if (!tooltip_ && !hint_.empty()) {
            tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                       GetAncestor(window_, GA_ROOT), nullptr, ui_.Instance(), nullptr);
        }
        if (!tooltip_) return;
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = GetParent(window_);
        tool.uId = reinterpret_cast<UINT_PTR>(window_);
        tool.lpszText = hintText_.data();
        SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        if (!hint_.empty()) SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    HWND tooltip_ = nullptr;
    std::string hint_;
    std::wstring hintText_;
};

// Only digits are typed into the program's boxes: an input method would only
// get between the keys and the key handlers, so the boxes have none.
void DisableInputMethod(HWND window) {
    using AssociateContext = void*(WINAPI*)(HWND, void*);
    static const auto associate = [] {
        HMODULE imm = LoadLibraryW(L"imm32.dll");
        return imm ? reinterpret_cast<AssociateContext>(
                         reinterpret_cast<void*>(GetProcAddress(imm, "ImmAssociateContext")))
                   : nullptr;
    }();
    if (associate) associate(window, nullptr);
}

class EditPeer : public Win32ControlPeer {
public:
    EditPeer(Win32Ui& ui, Edit& edit) : Win32ControlPeer(ui, edit), edit_(edit) {
        Attach(CreateChild(ui, edit, WC_EDITW, ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE), true);
        if (window_) DisableInputMethod(window_);
        ApplyAll();
    }

private:
    void SyncText() {
        if (!window_) return;
        const std::wstring text = Widen(edit_.Text());
        if (WindowText(window_) == text) return;
        syncing_ = true;
        SetWindowTextW(window_, text.c_str());
        syncing_ = false;
    }

    void SyncUnannounced() override {
        if (!window_) return;
        SendMessageW(window_, EM_SETLIMITTEXT, edit_.MaxLength() > 0 ? WPARAM(edit_.MaxLength()) : 0x7FFFFFFE, 0);
        SendMessageW(window_, EM_SETREADONLY, edit_.ReadOnly() ? TRUE : FALSE, 0);
    }

    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (!window_) return;
        SyncUnannounced();
        if (what == Change::Text) SyncText();
    }

    bool Reflect(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        switch (message) {
            case WM_COMMAND:
                if (HIWORD(wParam) != EN_CHANGE || syncing_) return false;
                ui_.Deliver([this, typed = Narrow(WindowText(window_))] { edit_.UserTextChanged(typed); });
                SyncText();
                result = 0;
                return true;
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORSTATIC:
                result = Colours(reinterpret_cast<HDC>(wParam), edit_.FontColour(), edit_.Colour());
                return true;
            default:
                return false;
        }
    }

    Edit& edit_;
    bool syncing_ = false;
};

// A glyph's bottom-left pixel is its transparent colour, as button pictures
// have it.
HIMAGELIST GlyphList(const Bitmap32& glyph) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = glyph.Width();
    info.bmiHeader.biHeight = -glyph.Height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    std::copy(glyph.Pixels().begin(), glyph.Pixels().end(), static_cast<Pixel*>(bits));
    HIMAGELIST list = ImageList_Create(glyph.Width(), glyph.Height(), ILC_COLOR24 | ILC_MASK, 1, 0);
    if (list) ImageList_AddMasked(list, bitmap, ToColorRef(glyph.At(0, glyph.Height() - 1)));
    DeleteObject(bitmap);
    return list;
}

class ButtonPeer : public Win32ControlPeer {
public:
    ButtonPeer(Win32Ui& ui, Button& button) : Win32ControlPeer(ui, button), button_(button) {
        Attach(CreateChild(ui, button, WC_BUTTONW, BS_PUSHBUTTON), true);
        ApplyAll();
    }
    ~ButtonPeer() override {
        if (glyphList_) ImageList_Destroy(glyphList_);
    }

private:
    void SyncUnannounced() override { Apply(Change::Text); }

    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (!window_ || what != Change::Text) return;
        SetWindowTextW(window_, Widen(button_.Caption()).c_str());
        SendMessageW(window_, BM_SETSTYLE, button_.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        if (button_.Glyph == glyph_) return;
        glyph_ = button_.Glyph;
        HIMAGELIST old = glyphList_;
        glyphList_ = glyph_.Empty() ? nullptr : GlyphList(glyph_);
        BUTTON_IMAGELIST images{};
        images.himl = glyphList_ ? glyphList_ : reinterpret_cast<HIMAGELIST>(BCCL_NOGLYPH);
        images.margin = RECT{4, 0, 0, 0};
        images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
        SendMessageW(window_, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
        if (old) ImageList_Destroy(old);
    }

    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ui_.Deliver([this] { button_.Click(); });
            result = 0;
            return true;
        }
        return Win32ControlPeer::Reflect(message, wParam, lParam, result);
    }

    Button& button_;
    Bitmap32 glyph_;
    HIMAGELIST glyphList_ = nullptr;
};

// The kit keeps the group: a click never checks or unchecks by itself.
class RadioPeer : public Win32ControlPeer {
public:
    RadioPeer(Win32Ui& ui, RadioButton& radio) : Win32ControlPeer(ui, radio), radio_(radio) {
        Attach(CreateChild(ui, radio, WC_BUTTONW, BS_RADIOBUTTON), true);
        ApplyAll();
    }

private:
    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (!window_) return;
        if (what == Change::Text) SetWindowTextW(window_, Widen(radio_.Caption()).c_str());
        if (what == Change::Checked) SendMessageW(window_, BM_SETCHECK, radio_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ui_.Deliver([this] { radio_.Click(); });
            if (window_)
                SendMessageW(window_, BM_SETCHECK, radio_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
            result = 0;
            return true;
        }
        return Win32ControlPeer::Reflect(message, wParam, lParam, result);
    }

    RadioButton& radio_;
};

class TrackBarPeer : public Win32ControlPeer {
public:
    TrackBarPeer(Win32Ui& ui, TrackBar& track) : Win32ControlPeer(ui, track), track_(track) {
        Attach(CreateChild(ui, track, TRACKBAR_CLASSW, TBS_HORZ | TBS_BOTTOM | TBS_NOTICKS), true);
        ApplyAll();
    }

private:
    // The native bar shows the kit's position, whatever the handlers made of a move.
    void Sync() {
        if (!window_) return;
        syncing_ = true;
        SendMessageW(window_, TBM_SETRANGEMIN, FALSE, track_.Min());
        SendMessageW(window_, TBM_SETRANGEMAX, FALSE, track_.Max());
        SendMessageW(window_, TBM_SETPOS, TRUE, track_.Position());
        syncing_ = false;
    }

    void SyncUnannounced() override {
        if (!window_) return;
        const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
        const LONG_PTR ticks = track_.ShowTicks ? TBS_AUTOTICKS : TBS_NOTICKS;
        const LONG_PTR next = (style & ~LONG_PTR(TBS_AUTOTICKS | TBS_NOTICKS)) | ticks;
        if (next != style) {
            SetWindowLongPtrW(window_, GWL_STYLE, next);
            InvalidateRect(window_, nullptr, TRUE);
        }
        if (track_.ShowTicks) SendMessageW(window_, TBM_SETTICFREQ, 1, 0);
    }

    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (what == Change::Range || what == Change::Position) Sync();
        if (what == Change::Range) SyncUnannounced();
    }

    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_HSCROLL) {
            if (!syncing_) {
                const int position = int(SendMessageW(window_, TBM_GETPOS, 0, 0));
                ui_.Deliver([this, position] { track_.UserSetPosition(position); });
                Sync();
            }
            result = 0;
            return true;
        }
        return Win32ControlPeer::Reflect(message, wParam, lParam, result);
    }

    TrackBar& track_;
    bool syncing_ = false;
};

// Pictures and paint boxes: windows of the backend's own class that paint
// pixels made by the kit.
class PixelsPeer : public Win32ControlPeer {
public:
    PixelsPeer(Win32Ui& ui, Control& control) : Win32ControlPeer(ui, control) {
        Attach(CreateChild(ui, control, kPictureClass, 0), false);
    }

protected:
    virtual Bitmap32 Pixels() const = 0;

    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (!window_) return;
        if (what == Change::Picture) {
            // A picture that was set or cleared shows or hides the window.
            ShowWindow(window_, ShowsNow() ? SW_SHOWNA : SW_HIDE);
            InvalidateRect(window_, nullptr, FALSE);
        }
    }

    LRESULT OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_ERASEBKGND:
                return 1;
            case WM_PAINT: {
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(window_, &paint);
                const Bitmap32 pixels = Pixels();
                DrawPixels(dc, paint.rcPaint.left, paint.rcPaint.top, pixels, paint.rcPaint);
                EndPaint(window_, &paint);
                return 0;
            }
            default:
                return Win32ControlPeer::OwnWindowProc(message, wParam, lParam);
        }
    }
};

class ImagePeer : public PixelsPeer {
public:
    ImagePeer(Win32Ui& ui, Image& image) : PixelsPeer(ui, image), image_(image) { ApplyAll(); }

private:
    // The picture as the control shows it, over what lies behind it.
    Bitmap32 Pixels() const override { return ShownPicture(image_, BackgroundOf(image_)); }
    // An empty picture control shows nothing: what lies below it shows.
    bool ShowsNow() const override { return image_.Visible() && image_.HasPicture(); }
    void SyncUnannounced() override { Apply(Change::Picture); }

    Image& image_;
};

class PaintBoxPeer : public PixelsPeer {
public:
    PaintBoxPeer(Win32Ui& ui, PaintBox& box) : PixelsPeer(ui, box), box_(box) { ApplyAll(); }

private:
    Bitmap32 Pixels() const override {
        const PaintBox& box = box_;
        Bitmap32 out(std::max(box.Width(), 0), std::max(box.Height(), 0), BackgroundOf(box));
        const Bitmap32& surface = box.Surface();
        for (int y = 0; y < std::min(out.Height(), surface.Height()); ++y)
            std::copy_n(surface.Row(y), std::min(out.Width(), surface.Width()), out.Row(y));
        return out;
    }

    PaintBox& box_;
};

// A panel: its colour with a raised edge, and a container whose controls'
// notifications go to their peers.
class PanelPeer : public Win32ControlPeer {
public:
    PanelPeer(Win32Ui& ui, Control& control) : Win32ControlPeer(ui, control) {
        Attach(CreateChild(ui, control, kPanelClass, WS_CLIPCHILDREN | WS_CLIPSIBLINGS), false);
        ApplyAll();
    }

private:
    LRESULT OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = 0;
        if (ui_.ReflectToChild(message, wParam, lParam, result)) return result;
        switch (message) {
            case WM_ERASEBKGND: {
                RECT area;
                GetClientRect(window_, &area);
                FillRect(reinterpret_cast<HDC>(wParam), &area, ui_.Brush(control_.Colour()));
                return 1;
            }
            case WM_PAINT: {
                PAINTSTRUCT paint;
                HDC dc = BeginPaint(window_, &paint);
                RECT area;
                GetClientRect(window_, &area);
                DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
                EndPaint(window_, &paint);
                return 0;
            }
            default:
                return Win32ControlPeer::OwnWindowProc(message, wParam, lParam);
        }
    }
};

// The system's group box, subclassed to hand its controls' notifications on.
class GroupBoxPeer : public Win32ControlPeer {
public:
    GroupBoxPeer(Win32Ui& ui, Control& control) : Win32ControlPeer(ui, control) {
        Attach(CreateChild(ui, control, WC_BUTTONW, BS_GROUPBOX | WS_CLIPCHILDREN), true);
        ApplyAll();
    }

private:
    void Apply(Change what) override {
        Win32ControlPeer::Apply(what);
        if (window_ && what == Change::Text) SetWindowTextW(window_, Widen(control_.Caption()).c_str());
    }

    // The system's group box draws only its frame and caption: the inside
    // takes the box's colour here, as its controls lie on it.
    LRESULT Subclassed(UINT message, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = 0;
        if (ui_.ReflectToChild(message, wParam, lParam, result)) return result;
        if (message == WM_ERASEBKGND) {
            RECT area;
            GetClientRect(window_, &area);
            FillRect(reinterpret_cast<HDC>(wParam), &area, ui_.Brush(control_.Colour()));
            return 1;
        }
        return Win32ControlPeer::Subclassed(message, wParam, lParam);
    }
};

// The Win32 peer of each kind of control.
struct Win32PeerMaker {
    Win32Ui& ui;
    using Peer = std::unique_ptr<Win32ControlPeer>;
    Win32FormPeer* FormPeerOf(const Form& form) const { return ui.FormPeerOf(form); }
    Peer Drawn(Control& control, Win32FormPeer& form) const {
        return std::make_unique<DrawnPeer<Win32ControlPeer>>(ui, control, form);
    }
    Peer operator()(Label& label) const { return std::make_unique<LabelPeer>(ui, label); }
    Peer operator()(Edit& edit) const { return std::make_unique<EditPeer>(ui, edit); }
    Peer operator()(Button& button) const { return std::make_unique<ButtonPeer>(ui, button); }
    Peer operator()(RadioButton& radio) const { return std::make_unique<RadioPeer>(ui, radio); }
    Peer operator()(TrackBar& track) const { return std::make_unique<TrackBarPeer>(ui, track); }
    Peer operator()(Image& image) const { return std::make_unique<ImagePeer>(ui, image); }
    Peer operator()(PaintBox& box) const { return std::make_unique<PaintBoxPeer>(ui, box); }
    Peer operator()(Panel& panel) const { return std::make_unique<PanelPeer>(ui, panel); }
    Peer operator()(GroupBox& box) const { return std::make_unique<GroupBoxPeer>(ui, box); }
};

}  // namespace

std::unique_ptr<Win32ControlPeer> MakeChildPeer(Win32Ui& ui, Control& control) {
    return MakeChildPeerWith(control, Win32PeerMaker{ui});
}

}  // namespace duskpane
