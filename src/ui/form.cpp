// Forms: showing, closing, modal loops, keys, focus and the composed picture.
#include "ui/form.h"

#include <algorithm>
#include <cassert>

#include "ui/application.h"
#include "ui/controls.h"

namespace duskpane {

Form::Form(Application& app, std::string name)
    : Control(ControlKind::Form, nullptr, std::move(name)), app_(app) {
    Control::SetVisible(false);
}

Form::~Form() = default;

void Form::SetAlphaBlendValue(uint8_t value) {
    if (value == alphaBlendValue_) return;
    alphaBlendValue_ = value;
    Notify(Change::Alpha);
}

void Form::SetColourKeyBlack(bool on) {
    if (on == colourKeyBlack_) return;
    colourKeyBlack_ = on;
    Notify(Change::Layered);
}

void Form::SetModalResult(int result) {
    modalResult_ = result;
    if (modal_ && result != kMrNone) app_.Backend().Wake();
}

void Form::SetVisible(bool visible) {
    if (visible == Visible()) return;
    if (!visible) {
        Control::SetVisible(false);
        return;
    }
    // The show handler runs before the window appears; the window appears
    // even when the handler fails.
    struct Appear {
        Form* form;
        ~Appear() { form->Notify(Change::Visible); }
    };
    Control::SetVisible(true);
    Appear appear{this};
    if (OnShow) OnShow(*this);
}

void Form::Show() { SetVisible(true); }

void Form::Hide() { SetVisible(false); }

int Form::ShowModal() {
    assert(!modal_ && "a form is shown modally once at a time");
    modal_ = true;
    modalResult_ = kMrNone;
    Notify(Change::Modal);
    struct EndModal {
        Form* form;
        ~EndModal() {
            form->Hide();
            form->modal_ = false;
            form->Notify(Change::Modal);
        }
    } endModal{this};
    Show();
    for (;;) {
        if (modalResult_ == kMrNone && !app_.Terminated()) app_.ProcessMessages(true);
        if (app_.Terminated() && modalResult_ == kMrNone) modalResult_ = kMrCancel;
        if (modalResult_ == kMrNone) continue;
        if (CloseQuery()) {
            CloseAction action = CloseAction::Hide;
            if (OnClose) OnClose(*this, action);
            if (action != CloseAction::None) break;
        }
        modalResult_ = kMrNone;
        if (app_.Terminated()) break;
    }
    return modalResult_;
}

bool Form::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(*this, canClose);
    return canClose;
}

void Form::Close() {
    if (modal_) {
        SetModalResult(kMrCancel);
        return;
    }
    if (!CloseQuery()) return;
    CloseAction action = CloseAction::Hide;
    if (OnClose) OnClose(*this, action);
    if (action == CloseAction::None) return;
    if (app_.MainForm() == this)
        app_.Terminate();
    else
        Hide();
}

void Form::BringToTop() { Notify(Change::ZOrder); }

void Form::MoveFocus(Control* control) {
    if (control == activeControl_) return;
    Control* left = activeControl_;
    activeControl_ = control;
    if (control) control->Notify(Change::Focus);
    if (left && left->OnExit) left->OnExit(*left);
}

void Form::UserFocus(Control* control) {
    app_.Invoke([&] { MoveFocus(control && control->CanFocus() ? control : nullptr); });
}

static void CollectTabOrder(const Control& parent, std::vector<Control*>& out) {
    std::vector<Control*> children = parent.Children();
    std::stable_sort(children.begin(), children.end(),
                     [](const Control* a, const Control* b) { return a->TabOrder() < b->TabOrder(); });
    for (Control* child : children) {
        if (child->Focusable()) out.push_back(child);
        CollectTabOrder(*child, out);
    }
}

std::vector<Control*> Form::TabOrderList() const {
    std::vector<Control*> out;
    CollectTabOrder(*this, out);
    return out;
}

void Form::UserTab(bool backwards) {
    std::vector<Control*> order;
    for (Control* c : TabOrderList())
        if (c->CanFocus() && c->TabStop()) order.push_back(c);
    if (order.empty()) return;
    auto at = std::find(order.begin(), order.end(), activeControl_);
    size_t index = 0;
    if (at != order.end()) {
        const size_t here = size_t(at - order.begin());
        index = backwards ? (here + order.size() - 1) % order.size() : (here + 1) % order.size();
    } else if (backwards) {
        index = order.size() - 1;
    }
    UserFocus(order[index]);
}

static Button* FindButton(const Control& parent, bool isDefault) {
    for (Control* child : parent.Children()) {
        if (child->Kind() == ControlKind::Button) {
            auto* button = static_cast<Button*>(child);
            if ((isDefault ? button->Default : button->Cancel) && button->Showing() && button->Enabled())
                return button;
        }
        if (Button* found = FindButton(*child, isDefault)) return found;
    }
    return nullptr;
}

Button* Form::FindDialogButton(bool isDefault) const { return FindButton(*this, isDefault); }

void Form::UserKeyDown(int key, unsigned shift) {
    app_.Invoke([&] {
        int k = key;
        if (KeyPreview && OnKeyDown) OnKeyDown(*this, k, shift);
        if (k == kKeyEnter) {
            Button* target = activeControl_ && activeControl_->Kind() == ControlKind::Button
                                 ? static_cast<Button*>(activeControl_)
                                 : FindDialogButton(true);
            if (target) target->Click();
        } else if (k == kKeyEscape) {
            if (Button* cancel = FindDialogButton(false)) cancel->Click();
        } else if (k == kKeyTab) {
            UserTab((shift & kShiftShift) != 0);
        }
    });
}

bool Form::UserKeyPress(char32_t& key) {
    app_.Invoke([&] {
        if (KeyPreview && OnFormKeyPress) OnFormKeyPress(*this, key);
        if (key != 0 && activeControl_ && activeControl_->OnKeyPress)
            activeControl_->OnKeyPress(*activeControl_, key);
    });
    return key != 0;
}

void Form::UserCloseBox() {
    app_.Invoke([&] { Close(); });
}

static void StretchInto(Bitmap32& target, int x0, int y0, int w, int h, const Bitmap32& picture,
                        bool transparent) {
    if (picture.Empty() || w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        const int sy = int(int64_t(y) * picture.Height() / h);
        for (int x = 0; x < w; ++x) {
            const Pixel p = picture.At(int(int64_t(x) * picture.Width() / w), sy);
            if (!(transparent && p == kBlack)) target.Plot(x0 + x, y0 + y, p);
        }
    }
}

static void RenderChildren(const Control& parent, Bitmap32& target) {
    for (const Control* child : parent.Children()) {
        if (!child->Visible()) continue;
        const int x = child->FormLeft();
        const int y = child->FormTop();
        switch (child->Kind()) {
            case ControlKind::Panel:
            case ControlKind::GroupBox: {
                Canvas canvas(target);
                canvas.brush.colour = child->Colour();
                canvas.FillRect(x, y, x + child->Width(), y + child->Height());
                break;
            }
            case ControlKind::Image: {
                const auto* image = static_cast<const Image*>(child);
                if (image->Stretch) {
                    StretchInto(target, x, y, image->Width(), image->Height(), image->Picture(),
                                image->Transparent);
                } else {
                    // Natural size from the top-left corner, clipped to the control.
                    const Bitmap32& pic = image->Picture();
                    const int w = std::min(pic.Width(), image->Width());
                    const int h = std::min(pic.Height(), image->Height());
                    for (int py = 0; py < h; ++py)
                        for (int px = 0; px < w; ++px) {
                            const Pixel p = pic.At(px, py);
                            if (!(image->Transparent && p == kBlack)) target.Plot(x + px, y + py, p);
                        }
                }
                break;
            }
            case ControlKind::PaintBox: {
                Canvas canvas(target);
                canvas.Draw(x, y, static_cast<const PaintBox*>(child)->Surface());
                break;
            }
            default:
                break;
        }
        RenderChildren(*child, target);
    }
}

Bitmap32 Form::Render() const {
    Bitmap32 picture(Width(), Height(), Colour());
    RenderChildren(*this, picture);
    return picture;
}

}  // namespace duskpane
