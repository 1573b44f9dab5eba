// Edit boxes, buttons, radio buttons, track bars, pictures, paint boxes and
// timers: the behaviours the forms rely on on every backend.
#include "ui/controls.h"

#include <algorithm>

#include "ui/application.h"
#include "ui/form.h"

namespace duskpane {

Edit::Edit(Control* parent, std::string name) : Control(ControlKind::Edit, parent, std::move(name)) {
    SetColour(kColourWindow);
    SetTabStop(true);
}

void Edit::SetText(const std::string& text) {
    if (text == Caption()) return;
    SetCaption(text);
    if (OnChange) OnChange(*this);
}

Button::Button(Control* parent, std::string name)
    : Control(ControlKind::Button, parent, std::move(name)) {
    SetTabStop(true);
}

void Button::Click() {
    // The form takes the button's modal result first, then the handler runs.
    if (Form* form = ParentForm()) form->SetModalResult(ModalResult);
    Control::Click();
}

RadioButton::RadioButton(Control* parent, std::string name)
    : Control(ControlKind::RadioButton, parent, std::move(name)) {
    SetTabStop(true);
}

void RadioButton::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Notify(Change::Checked);
    if (!checked) return;
    if (Parent()) {
        for (Control* sibling : Parent()->Children())
            if (sibling != this && sibling->Kind() == ControlKind::RadioButton)
                static_cast<RadioButton*>(sibling)->SetChecked(false);
    }
    Control::Click();
}

TrackBar::TrackBar(Control* parent, std::string name)
    : Control(ControlKind::TrackBar, parent, std::move(name)) {
    SetTabStop(true);
}

void TrackBar::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    Notify(Change::Range);
    SetPosition(position_);
}

void TrackBar::SetPosition(int position) {
    position = std::clamp(position, min_, max_);
    if (position == position_) return;
    position_ = position;
    Notify(Change::Position);
    if (OnChange) OnChange(*this);
}

Image::Image(Control* parent, std::string name) : Control(ControlKind::Image, parent, std::move(name)) {}

void Image::SetPicture(Bitmap32 picture) {
    picture_ = std::move(picture);
    if (AutoSize) SetSize(picture_.Width(), picture_.Height());
    Notify(Change::Picture);
}

void Image::ClearPicture() {
    if (picture_.Empty()) return;
    picture_.Reset(0, 0);
    Notify(Change::Picture);
}

Bitmap32& Image::Surface() {
    if (picture_.Empty()) picture_.Reset(Width(), Height(), kBlack);
    return picture_;
}

Canvas& Image::GetCanvas() {
    Surface();
    if (!canvas_) canvas_ = std::make_unique<Canvas>(picture_);
    return *canvas_;
}

PaintBox::PaintBox(Control* parent, std::string name)
    : Control(ControlKind::PaintBox, parent, std::move(name)) {}

Bitmap32& PaintBox::Surface() {
    if (surface_.Width() != Width() || surface_.Height() != Height())
        surface_.Reset(Width(), Height(), Parent() ? Parent()->Colour() : kBlack);
    return surface_;
}

Canvas& PaintBox::GetCanvas() {
    Surface();
    if (!canvas_) canvas_ = std::make_unique<Canvas>(surface_);
    return *canvas_;
}

void PaintBox::Refresh() {
    Surface().Fill(Parent() ? Parent()->Colour() : kBlack);
    Notify(Change::Picture);
}

Timer::Timer(Application& app, std::string name, uint32_t intervalMs, bool enabled)
    : app_(app), name_(std::move(name)), interval_(intervalMs), enabled_(enabled) {
    app_.RegisterTimer(this);
    peer_ = app_.Backend().CreateTimerPeer(*this, app_);
    Update();
}

Timer::~Timer() {
    peer_.reset();
    app_.UnregisterTimer(this);
}

void Timer::SetInterval(uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Update();
}

void Timer::Update() {
    if (peer_) peer_->Update(enabled_, interval_);
}

void Timer::Fire() {
    if (enabled_ && interval_ != 0 && OnTimer) OnTimer(*this);
}

}  // namespace duskpane
