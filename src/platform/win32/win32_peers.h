// The Win32 peers of the kit's controls, shared by the backend's files.
#pragma once

#include <windows.h>
// The kit's Shell::MessageBox is the program's own, not the system's macro.
#undef MessageBox

#include <memory>

#include "platform/ui_seam.h"
#include "util/bitmap.h"
#include "ui/peer_rules.h"

namespace duskpane {

class Control;
class Form;
class Win32Ui;

// The backend's own window classes.
inline constexpr wchar_t kFormClass[] = L"DuskpaneForm";
inline constexpr wchar_t kPanelClass[] = L"DuskpanePanel";
inline constexpr wchar_t kPictureClass[] = L"DuskpanePicture";

COLORREF ToColorRef(Pixel colour);
// The colour that shows behind a control: its parent's.
Pixel BackgroundOf(const Control& control);
// Copies a rectangle of a picture (clipped to it) to a device context, its
// top-left corner at (x, y).
void DrawPixels(HDC dc, int x, int y, const Bitmap32& picture, const RECT& part);

class Win32ControlPeer : public ControlPeer {
public:
    // Registers with the backend.
    Win32ControlPeer(Win32Ui& ui, Control& control);
    ~Win32ControlPeer() override;
    Win32ControlPeer(const Win32ControlPeer&) = delete;
    Win32ControlPeer& operator=(const Win32ControlPeer&) = delete;

    Control& GetControl() const { return control_; }
    Win32Ui& Ui() const { return ui_; }
    HWND Window() const { return window_; }

    void Changed(Change what) override;
    // A notification the native control sent to its container (WM_COMMAND,
    // WM_HSCROLL, WM_CTLCOLOR...); true when the peer answered it.
    virtual bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The window procedure of the backend's own classes (panels, pictures).
    virtual LRESULT OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Gives the peer its native window, which belongs to the peer from here
    // on; standard controls are subclassed to report focus and cursor.
    void Attach(HWND window, bool subclass);
    // The kind's own part of a change; bounds, visibility, enabling and focus
    // are done by the base.
    virtual void Apply(Change what);
    virtual void ApplyBounds();
    // Whether the native window shows now (a picture without a picture does
    // not, so what lies below it shows).
    virtual bool ShowsNow() const;
    // Reads everything from the control, as at creation.
    void ApplyAll();
    // Messages of a subclassed standard control.
    virtual LRESULT Subclassed(UINT message, WPARAM wParam, LPARAM lParam);
    // The text colour and background of a native control that asks for them.
    LRESULT Colours(HDC dc, Pixel text, Pixel background);

    Win32Ui& ui_;
    Control& control_;
    HWND window_ = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    bool subclassed_ = false;
};

// Makes the peer of a child control (not a form).
std::unique_ptr<Win32ControlPeer> MakeChildPeer(Win32Ui& ui, Control& control);

// The top-level window of a form. Dialogs are captioned windows with their
// controls as child windows; a borderless form (the screen layers) paints
// the kit's composed picture of itself, its controls being drawn by it.
class Win32FormPeer : public Win32ControlPeer, public FormPeerBase {
public:
    Win32FormPeer(Win32Ui& ui, Form& form);
    ~Win32FormPeer() override;

    using FormPeerBase::GetForm;
    // A part of a rendered form changed (form coordinates); it is painted
    // again soon.
    void Invalidate(const RECT& rect);
    // Places the window again (the screen's size changed).
    void ApplyBounds() override;
    void Repaint(const Rect& area) override;

    LRESULT OwnWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void Apply(Change what) override;

private:
    void Paint();
    void ApplyLayering();
    void RestoreFocus();
    void ContextMenu(HWND target, LPARAM at);

    bool QueueShow() override;
    void Appear() override;
    void Hide() override;
    bool IsShown() const override;
    void SetFrame(const Rect& screenArea) override;
    void SetClientSize(int width, int height) override;
    void SetWindowEnabled(bool enabled) override;
    void SetTitle(const std::string& title) override;
    void ApplyAlpha() override { ApplyLayering(); }
    void ApplyLayered() override { ApplyLayering(); }
    void Raise() override;
    void SetModal(bool modal) override;
    Rect OuterFrame() const override;
    Rect ScreenArea() const override;
    std::optional<Rect> OwnerFrame() const override;
    void MoveFrameTo(int left, int top) override;
    void FocusQuietly(Control& control) override;

    bool raisePending_ = false;
};

}  // namespace duskpane
