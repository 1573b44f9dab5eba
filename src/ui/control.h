// The portable control kit: a control's state and the behaviours every
// backend shares; a native peer only shows it and reports what the user did.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_seam.h"
#include "util/bitmap.h"

namespace duskpane {

class Application;
class Form;
class PopupMenu;

enum class ControlKind {
    Form,
    Panel,
    GroupBox,
    Label,
    Edit,
    Button,
    RadioButton,
    TrackBar,
    Image,
    PaintBox,
};

constexpr int kKeyBackspace = 8;
constexpr int kKeyTab = 9;
constexpr int kKeyEnter = 13;
constexpr int kKeyEscape = 27;

// Modifier keys held with a key.
enum ShiftState : unsigned { kShiftNone = 0, kShiftShift = 1, kShiftAlt = 2, kShiftCtrl = 4 };

constexpr Pixel kColourButtonFace = MakeRgb(240, 240, 240);
constexpr Pixel kColourWindow = MakeRgb(255, 255, 255);

class Control {
public:
    using Handler = std::function<void(Control& sender)>;
    using KeyPressHandler = std::function<void(Control& sender, char32_t& key)>;

    Control(ControlKind kind, Control* parent, std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return kind_; }
    const std::string& Name() const { return name_; }
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }
    Form* ParentForm();
    const Form* ParentForm() const;
    Application& App() const;

    // Geometry relative to the parent's client area.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetSize(int width, int height) { SetBounds(left_, top_, width, height); }
    // Position in the coordinates of the form's client area.
    int FormLeft() const;
    int FormTop() const;

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    // Visible itself and every parent up to the form.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    Pixel Colour() const { return colour_; }
    void SetColour(Pixel colour);
    Pixel FontColour() const { return fontColour_; }
    bool FontUnderline() const { return fontUnderline_; }
    void SetFont(Pixel colour, bool underline);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    bool HandCursor() const { return handCursor_; }
    void SetHandCursor(bool hand) { handCursor_ = hand; }

    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int order) { tabOrder_ = order; }
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool stop) { tabStop_ = stop; }
    virtual bool Focusable() const { return false; }
    bool CanFocus() const;
    bool Focused() const;
    void SetFocus();

    // A free integer kept on the control.
    int32_t Tag = 0;

    PopupMenu* GetPopupMenu() const { return popupMenu_; }
    void SetPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }

    Handler OnClick;
    Handler OnExit;
    KeyPressHandler OnKeyPress;

    // Runs the click behaviour of the control, as a user click or code does.
    virtual void Click();

    ControlPeer* Peer() const { return peer_.get(); }
    void AttachPeer(std::unique_ptr<ControlPeer> peer) { peer_ = std::move(peer); }
    // Creates the peers of this control and all below it.
    void CreatePeers(UiBackend& backend);
    // Drops the peers again (before the backend goes away).
    void DestroyPeers();

    // ---- reported by the peers, as the user acts
    // A right click at a point of the form: opens the control's menu.
    void UserContextMenu(int screenX, int screenY);

protected:
    friend class Form;
    void Notify(Change what) const {
        if (peer_) peer_->Changed(what);
    }
    // The control's width or height changed.
    virtual void Resized() {}

private:
    ControlKind kind_;
    Control* parent_;
    std::string name_;
    std::vector<Control*> children_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;
    Pixel colour_ = kColourButtonFace;
    Pixel fontColour_ = kBlack;
    bool fontUnderline_ = false;
    std::string hint_;
    bool handCursor_ = false;
    int tabOrder_ = 0;
    bool tabStop_ = false;
    PopupMenu* popupMenu_ = nullptr;
    std::unique_ptr<ControlPeer> peer_;
};

}  // namespace duskpane
