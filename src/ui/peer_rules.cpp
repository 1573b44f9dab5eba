// What every backend's peers decide alike, over plain rectangles.
#include "ui/peer_rules.h"

#include <algorithm>

namespace duskpane {

Rect Union(const Rect& a, const Rect& b) {
    if (a.Width() <= 0 || a.Height() <= 0) return b;
    if (b.Width() <= 0 || b.Height() <= 0) return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

Bitmap32 ShownPicture(const Image& image, Pixel background) {
    const int width = image.Width(), height = image.Height();
    Bitmap32 out(std::max(width, 0), std::max(height, 0), background);
    if (out.Empty() || !image.HasPicture()) return out;
    const Bitmap32& picture = image.Picture();
    const bool stretch = image.Stretch;
    const int w = stretch ? width : std::min(width, picture.Width());
    const int h = stretch ? height : std::min(height, picture.Height());
    for (int y = 0; y < h; ++y) {
        const int sy = stretch ? int(int64_t(y) * picture.Height() / height) : y;
        for (int x = 0; x < w; ++x) {
            const int sx = stretch ? int(int64_t(x) * picture.Width() / width) : x;
            const Pixel p = picture.At(sx, sy) & 0xFFFFFFu;
            if (!(image.Transparent && p == kBlack)) out.Set(x, y, 0xFF000000u | p);
        }
    }
    return out;
}

Rect FormArea(const Control& control) {
    const int left = control.FormLeft(), top = control.FormTop();
    return Rect{left, top, left + control.Width(), top + control.Height()};
}

std::optional<Rect> DrawnArea::Changed(Change what) {
    if (what != Change::Bounds && what != Change::Visible && what != Change::Picture && what != Change::Colour)
        return std::nullopt;
    const Rect now = FormArea(control_);
    const Rect both = control_.Children().empty() ? Union(area_, now) : Rect{0, 0, 1 << 20, 1 << 20};
    area_ = now;
    return both;
}

FormPeerBase::FormPeerBase(Form& form, bool layersFloat) : form_(form) {
    rendered_ = form.Border == BorderStyle::None;
    dimmer_ = rendered_ && form.Style == FormStyle::Normal && form.AlphaBlend;
    topLayer_ = rendered_ && form.Style == FormStyle::StayOnTop;
    fullScreen_ = dimmer_ && !layersFloat;
    fixedSize_ = topLayer_ || (dimmer_ && !fullScreen_);
    takesKeyboard_ = dimmer_ ? fullScreen_ : !topLayer_ || layersFloat;
}

void FormPeerBase::ApplyAllForm() {
    for (Change what : {Change::Text, Change::Colour, Change::Bounds, Change::Alpha, Change::Layered,
                        Change::Enabled, Change::Visible})
        ApplyFormChange(what);
}

void FormPeerBase::ApplyFormChange(Change what) {
    switch (what) {
        case Change::Bounds:
            ApplyFormBounds();
            break;
        case Change::Visible:
            if (form_.Visible())
                ScheduleShow();
            else
                Hide();
            break;
        case Change::Enabled:
            SetWindowEnabled(form_.Enabled());
            break;
        case Change::Text:
            SetTitle(form_.Caption());
            break;
        case Change::Colour:
            ApplyColour();
            break;
        case Change::Picture:
            Repaint(WholeForm());
            break;
        case Change::Alpha:
            ApplyAlpha();
            break;
        case Change::Layered:
            ApplyLayered();
            break;
        case Change::ZOrder:
            Raise();
            break;
        case Change::Modal:
            SetModal(form_.IsModal());
            break;
        default:
            break;
    }
}

void FormPeerBase::ApplyFormBounds() {
    if (rendered_) {
        const Rect screen = ScreenArea();
        const int left = screen.left + form_.Left(), top = screen.top + form_.Top();
        SetFrame(Rect{left, top, left + form_.Width(), top + form_.Height()});
        Repaint(WholeForm());
        return;
    }
    SetClientSize(form_.Width(), form_.Height());
    if (IsShown() && form_.Position == FormPosition::Designed) Place();
}

void FormPeerBase::ScheduleShow() {
    if (showPending_) return;
    showPending_ = QueueShow();
    if (!showPending_) ShowNow();
}

void FormPeerBase::ShowWhenDue() {
    showPending_ = false;
    if (form_.Visible()) ShowNow();
}

void FormPeerBase::ShowNow(bool dimmerReady) {
    if (IsShown()) return;
    if (topLayer_ && !dimmerReady && DimmerUndrawn()) {
        WaitForDimmer();
        return;
    }
    if (!rendered_) SyncControls(form_);
    ApplyFormBounds();
    if (!rendered_) Place();
    Appear();
    if (!rendered_) FocusFirstControl();
}

void FormPeerBase::Place() {
    const Rect screen = ScreenArea();
    if (form_.Position == FormPosition::Designed) {
        MoveFrameTo(screen.left + form_.Left(), screen.top + form_.Top());
        return;
    }
    const Rect outer = OuterFrame();
    Rect around = screen;
    if (form_.Position == FormPosition::OwnerCenter)
        if (const std::optional<Rect> owner = OwnerFrame()) around = *owner;
    MoveFrameTo(around.left + (around.Width() - outer.Width()) / 2,
                around.top + (around.Height() - outer.Height()) / 2);
}

void FormPeerBase::SyncControls(const Control& parent) {
    for (const Control* child : parent.Children()) {
        if (ControlPeer* peer = child->Peer()) peer->SyncUnannounced();
        SyncControls(*child);
    }
}

void FormPeerBase::FocusFirstControl() {
    if (Control* active = form_.ActiveControl(); active && active->CanFocus()) {
        FocusQuietly(*active);
        return;
    }
    for (Control* control : form_.TabOrderList())
        if (control->CanFocus() && control->TabStop()) {
            form_.UserFocus(control);
            return;
        }
}

}  // namespace duskpane
