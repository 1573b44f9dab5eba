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

// The native windows of a form and its controls are made when it is first
// shown: a dialog the user never opens costs nothing. They take the kit's
// state as it then stands.
void Form::MakePeers() {
    if (!Peer()) CreatePeers(app_.Backend());
}

void Form::SetVisible(bool visible) {
    if (visible == Visible()) return;
    if (!visible) {
        Control::SetVisible(false);
        return;
    }
    MakePeers();
    // The show handler runs before the window appears, and the peer hears of
    // it only then: windows the handler shows (the main window's dimming
    // layer) appear first, under it. The window appears even when the
    // handler fails.
    struct Appear {
        Form* form;
        ~Appear() { form->Notify(Change::Visible); }
    };
    visible_ = true;
    Appear appear{this};
    if (OnShow) OnShow(*this);
}

void Form::Resized() {
    if (OnResize) OnResize(*this);
}

void Form::Show() { SetVisible(true); }

void Form::Hide() { SetVisible(false); }

int Form::ShowModal() {
    assert(!modal_ && "a form is shown modally once at a time");
    modal_ = true;
    modalEnded_ = false;
    modalResult_ = kMrNone;
    app_.PushModal(this);
    MakePeers();
    Notify(Change::Modal);
    struct EndModal {
        Form* form;
        ~EndModal() {
            form->Hide();
            form->modal_ = false;
            form->modalEnded_ = false;
            form->app_.PopModal(form);
            form->Notify(Change::Modal);
        }
    } endModal{this};
    Show();
    for (;;) {
        if (modalResult_ == kMrNone && !modalEnded_ && !app_.Terminated()) app_.ProcessMessages(true);
        if (modalEnded_) break;
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

void Form::EndModalAsCancel() {
    if (!modal_ || modalEnded_) return;
    modalResult_ = kMrCancel;
    modalEnded_ = true;
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(*this, canClose);
    CloseAction action = CloseAction::Hide;
    if (OnClose) OnClose(*this, action);
    Hide();
    app_.Backend().Wake();
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

// Only the rows and columns that land inside the target are visited, so
// that rendering a small part of a window costs what the part costs.
static void StretchInto(Bitmap32& target, int x0, int y0, int w, int h, const Bitmap32& picture,
                        bool transparent) {
    if (picture.Empty() || w <= 0 || h <= 0) return;
    const int yFrom = std::max(0, -y0), yTo = std::min(h, target.Height() - y0);
    const int xFrom = std::max(0, -x0), xTo = std::min(w, target.Width() - x0);
    for (int y = yFrom; y < yTo; ++y) {
        const int sy = int(int64_t(y) * picture.Height() / h);
        for (int x = xFrom; x < xTo; ++x) {
            const Pixel p = picture.At(int(int64_t(x) * picture.Width() / w), sy);
            if (!(transparent && p == kBlack)) target.Set(x0 + x, y0 + y, p);
        }
    }
}

// Natural size from the top-left corner, clipped to the control and to the
// target; a transparent image leaves the target where it is black.
static void CopyInto(Bitmap32& target, int x0, int y0, int w, int h, const Bitmap32& picture,
                     bool transparent) {
    const int yFrom = std::max(0, -y0), yTo = std::min(h, target.Height() - y0);
    const int xFrom = std::max(0, -x0), xTo = std::min(w, target.Width() - x0);
    if (xTo <= xFrom) return;
    for (int y = yFrom; y < yTo; ++y) {
        const Pixel* from = picture.Row(y);
        Pixel* to = target.Row(y0 + y) + x0;
        if (!transparent) {
            std::copy(from + xFrom, from + xTo, to + xFrom);
            continue;
        }
        for (int x = xFrom; x < xTo; ++x)
            if (from[x] != kBlack) to[x] = from[x];
    }
}

// Draws the children into a target whose (0, 0) is the form's (dx, dy).
static void RenderChildren(const Control& parent, Bitmap32& target, int dx, int dy) {
    for (const Control* child : parent.Children()) {
        if (!child->Visible()) continue;
        const int x = child->FormLeft() - dx;
        const int y = child->FormTop() - dy;
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
                    const Bitmap32& pic = image->Picture();
                    CopyInto(target, x, y, std::min(pic.Width(), image->Width()),
                             std::min(pic.Height(), image->Height()), pic, image->Transparent);
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
        RenderChildren(*child, target, dx, dy);
    }
}

Bitmap32 Form::Render() const { return RenderPart(0, 0, Width(), Height()); }

Bitmap32 Form::RenderPart(int left, int top, int width, int height) const {
    Bitmap32 picture(std::max(width, 0), std::max(height, 0), Colour());
    RenderChildren(*this, picture, left, top);
    return picture;
}

void Form::RenderBands(int left, int top, int width, int height,
                       const std::function<void(int bandTop, Bitmap32& band)>& draw) const {
    if (width <= 0 || height <= 0) return;
    // About a megabyte a band: 136 rows of a 1920-pixel screen.
    constexpr int kBandPixels = 1 << 18;
    const int rows = std::max(1, kBandPixels / width);
    for (int y = top; y < top + height; y += rows) {
        Bitmap32 band = RenderPart(left, y, width, std::min(rows, top + height - y));
        draw(y, band);
    }
}

}  // namespace duskpane
