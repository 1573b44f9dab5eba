// What every backend's peers decide alike: which peer a child control gets,
// what a form that paints its controls paints again, how a form's changes
// reach its window, where a dialog goes, which control has the keyboard when
// it shows, and when its window appears. A backend makes the native calls.
#pragma once

#include <optional>
#include <string>

#include "platform/ui_seam.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace duskpane {

// A rectangle in pixels, right and bottom edges excluded.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

Rect Union(const Rect& a, const Rect& b);

// Every part of a control's state, in the order a new peer reads it.
inline constexpr Change kEveryChange[] = {Change::Font,     Change::Colour,  Change::Text,
                                          Change::Range,    Change::Position, Change::Checked,
                                          Change::Picture,  Change::Bounds,  Change::Enabled,
                                          Change::Visible};

// The picture as an image control shows it, at the control's size: at
// natural size from the top-left corner or stretched (nearest pixel, as the
// kit's own composition does), black left out when the control is
// transparent. Shown pixels carry a full alpha byte; what the picture leaves
// out keeps the background.
Bitmap32 ShownPicture(const Image& image, Pixel background);
// A control's area in its form's coordinates.
Rect FormArea(const Control& control);

// The area of a control that its form paints itself: a change that shows
// gives the part of the form to paint again.
class DrawnArea {
public:
    explicit DrawnArea(const Control& control) : control_(control), area_(FormArea(control)) {}
    const Rect& Area() const { return area_; }
    // The old and the new area; the whole form when the control holds
    // others, as moving it moves them too; none for changes that do not show.
    std::optional<Rect> Changed(Change what);

private:
    const Control& control_;
    Rect area_;
};

// Makes a child control's peer through a backend's maker: make.FormPeerOf
// (the form's peer, or null), make.Drawn(control, formPeer) for a control
// that its form paints, make(kind&) for a native peer of each kind.
template <class Maker>
auto MakeChildPeerWith(Control& control, Maker&& make) -> decltype(make(static_cast<Label&>(control))) {
    Form* form = control.ParentForm();
    auto* formPeer = form ? make.FormPeerOf(*form) : nullptr;
    if (formPeer && formPeer->Rendered()) return make.Drawn(control, *formPeer);
    switch (control.Kind()) {
        case ControlKind::Label: return make(static_cast<Label&>(control));
        case ControlKind::Edit: return make(static_cast<Edit&>(control));
        case ControlKind::Button: return make(static_cast<Button&>(control));
        case ControlKind::RadioButton: return make(static_cast<RadioButton&>(control));
        case ControlKind::TrackBar: return make(static_cast<TrackBar&>(control));
        case ControlKind::Image: return make(static_cast<Image&>(control));
        case ControlKind::PaintBox: return make(static_cast<PaintBox&>(control));
        case ControlKind::Panel: return make(static_cast<Panel&>(control));
        case ControlKind::GroupBox: return make(static_cast<GroupBox&>(control));
        case ControlKind::Form: break;
    }
    return nullptr;
}

// The portable half of a form's peer. Dialogs are captioned windows with
// their controls as native children; a borderless form (the screen layers)
// paints the kit's composed picture of itself, controls included.
class FormPeerBase {
public:
    // layersFloat: the backend floats the screen layers at the screen's size
    // instead of making the dimming layer full screen, as its window system
    // draws nothing below a full-screen window.
    explicit FormPeerBase(Form& form, bool layersFloat = false);
    virtual ~FormPeerBase() = default;
    FormPeerBase(const FormPeerBase&) = delete;
    FormPeerBase& operator=(const FormPeerBase&) = delete;

    Form& GetForm() const { return form_; }
    // Borderless forms paint the kit's composed picture of themselves.
    bool Rendered() const { return rendered_; }
    // The dimming layer: borderless, at a constant alpha, below the
    // always-on-top forms.
    bool Dimmer() const { return dimmer_; }
    // The always-on-top screen layer (the clock), above the dimming layer.
    bool TopLayer() const { return topLayer_; }
    // The dimming layer covers its monitor in full screen, unless the screen
    // layers float: where the windows below a full-screen window are not
    // drawn, the desktop would show black or bare.
    bool FullScreen() const { return fullScreen_; }
    // A screen layer of fixed size, which tiling window managers float over
    // everything else instead of fitting it into their tiles.
    bool FixedSize() const { return fixedSize_; }
    // The program's screen gives the keyboard to this window (one of the
    // screen layers); dialogs take it too while they show. A window manager
    // keeps a full-screen window above panels and docks only while that
    // window has the keyboard (a window that belongs to it having it is not
    // enough for all of them): the full-screen dimming layer takes the
    // keyboard and the layer above refuses it. Where the dimming layer
    // floats instead, the layer above takes it.
    bool TakesKeyboard() const { return takesKeyboard_; }
    Rect WholeForm() const { return Rect{0, 0, form_.Width(), form_.Height()}; }
    // A part of the form (form coordinates) is painted again soon.
    virtual void Repaint(const Rect& area) = 0;

protected:
    // Everything the window shows of the form, as at creation.
    void ApplyAllForm();
    void ApplyFormChange(Change what);
    // A rendered form covers its place on the screen; a dialog takes its
    // client size and, when shown at its designed place, goes there again.
    void ApplyFormBounds();
    // The kit reports the form visible once its show handler has run, after
    // the windows the handler showed (the dimming layer under the main
    // window); the window appears from the queue, in that order.
    void ScheduleShow();
    // The queued show.
    void ShowWhenDue();
    // A rendered form covers its place first; a dialog reads its controls
    // again, takes its size and place, and gives the keyboard to a control
    // once it shows. The layer above the dimming layer waits until that one
    // has been drawn (dimmerReady: it has, or the wait is over), so that it
    // never shows over the undimmed desktop.
    void ShowNow(bool dimmerReady = false);
    // Where a dialog goes when it shows: its designed place, the middle of
    // the screen, or the middle of its owner (the main window).
    void Place();
    // Reads again what the kit changes without a word, in every control.
    void SyncControls(const Control& parent);
    // A dialog that shows gives the focus to the control that had it, or
    // else to the first control in tab order, as the window systems do.
    void FocusFirstControl();

    // ---- the native calls
    // Queues a call of ShowWhenDue; false when nothing can be queued.
    virtual bool QueueShow() = 0;
    // Shows the window, which is ready, above the others as its kind goes.
    virtual void Appear() = 0;
    virtual void Hide() = 0;
    virtual bool IsShown() const = 0;
    virtual void SetFrame(const Rect& screenArea) = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual void SetWindowEnabled(bool enabled) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void ApplyColour() { Repaint(WholeForm()); }
    virtual void ApplyAlpha() = 0;
    virtual void ApplyLayered() = 0;
    virtual void Raise() = 0;
    virtual void SetModal(bool modal) = 0;
    // The window's outer frame, the primary screen and the owner's outer
    // frame (when the owner is another window that shows), in screen pixels.
    virtual Rect OuterFrame() const = 0;
    virtual Rect ScreenArea() const = 0;
    virtual std::optional<Rect> OwnerFrame() const = 0;
    virtual void MoveFrameTo(int left, int top) = 0;
    // Gives the native keyboard focus without reporting it back to the kit.
    virtual void FocusQuietly(Control& control) = 0;
    // The dimming layer is to show but has not been drawn yet; the wait for
    // it, which ends in ShowNow(true) (after a while even if never drawn).
    virtual bool DimmerUndrawn() const { return false; }
    virtual void WaitForDimmer() {}

private:
    Form& form_;
    bool rendered_ = false;
    bool dimmer_ = false;
    bool topLayer_ = false;
    bool fullScreen_ = false;
    bool fixedSize_ = false;
    bool takesKeyboard_ = true;
    bool showPending_ = false;
};

// The peer of a control that its form paints itself, over a backend's peer
// base: a change that shows only marks its area.
template <class Base>
class DrawnPeer : public Base {
public:
    template <class Ui>
    DrawnPeer(Ui& ui, Control& control, FormPeerBase& form) : Base(ui, control), form_(form), area_(control) {
        form_.Repaint(area_.Area());
    }
    void Changed(Change what) override {
        Base::Changed(what);
        if (const std::optional<Rect> changed = area_.Changed(what)) form_.Repaint(*changed);
    }

private:
    FormPeerBase& form_;
    DrawnArea area_;
};

}  // namespace duskpane
