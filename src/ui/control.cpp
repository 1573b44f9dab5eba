// Control state, geometry, focus and the context menu.
#include "ui/control.h"

#include <algorithm>
#include <cassert>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {

Control::Control(ControlKind kind, Control* parent, std::string name)
    : kind_(kind), parent_(parent), name_(std::move(name)) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        if (Form* form = ParentForm(); form && form->activeControl_ == this) form->activeControl_ = nullptr;
    }
}

Form* Control::ParentForm() {
    Control* c = this;
    while (c->parent_) c = c->parent_;
    return c->kind_ == ControlKind::Form ? static_cast<Form*>(c) : nullptr;
}

const Form* Control::ParentForm() const { return const_cast<Control*>(this)->ParentForm(); }

Application& Control::App() const {
    const Form* form = ParentForm();
    assert(form && "a control must belong to a form");
    return form->FormApp();
}

void Control::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    const bool resized = std::max(width, 0) != width_ || std::max(height, 0) != height_;
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    Notify(Change::Bounds);
    if (resized) Resized();
}

int Control::FormLeft() const {
    int x = 0;
    for (const Control* c = this; c && c->parent_; c = c->parent_) x += c->left_;
    return x;
}

int Control::FormTop() const {
    int y = 0;
    for (const Control* c = this; c && c->parent_; c = c->parent_) y += c->top_;
    return y;
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Notify(Change::Visible);
}

bool Control::Showing() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Notify(Change::Enabled);
}

void Control::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    Notify(Change::Text);
}

void Control::SetColour(Pixel colour) {
    if (colour == colour_) return;
    colour_ = colour;
    Notify(Change::Colour);
}

void Control::SetFont(Pixel colour, bool underline) {
    fontColour_ = colour;
    fontUnderline_ = underline;
    Notify(Change::Font);
}

bool Control::CanFocus() const {
    if (!Focusable()) return false;
    for (const Control* c = this; c; c = c->parent_)
        if (!c->visible_ || !c->enabled_) return false;
    return true;
}

bool Control::Focused() const {
    const Form* form = ParentForm();
    return form && form->ActiveControl() == this;
}

void Control::SetFocus() {
    Form* form = ParentForm();
    if (form && form != this) form->MoveFocus(this);
}

void Control::Click() {
    if (OnClick) OnClick(*this);
}

void Control::CreatePeers(UiBackend& backend) {
    peer_ = backend.CreatePeer(*this);
    for (Control* child : children_) child->CreatePeers(backend);
}

void Control::DestroyPeers() {
    for (Control* child : children_) child->DestroyPeers();
    peer_.reset();
}

void Control::UserContextMenu(int screenX, int screenY) {
    PopupMenu* menu = nullptr;
    for (Control* c = this; c && !menu; c = c->parent_) menu = c->popupMenu_;
    Form* form = ParentForm();
    if (!menu || !form) return;
    Application& app = form->FormApp();
    app.Invoke([&] {
        if (menu->OnPopup) menu->OnPopup(*menu);
        app.Backend().ShowPopupMenu(*menu, *form, screenX, screenY, app);
    });
}

}  // namespace duskpane
