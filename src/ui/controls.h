// The control kinds the windows use.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/canvas.h"
#include "ui/control.h"

namespace duskpane {

class Panel : public Control {
public:
    Panel(Control* parent, std::string name) : Control(ControlKind::Panel, parent, std::move(name)) {}
};

class GroupBox : public Control {
public:
    GroupBox(Control* parent, std::string name)
        : Control(ControlKind::GroupBox, parent, std::move(name)) {}
};

// A text label; with a hand cursor, a colour and an underline it is a link.
class Label : public Control {
public:
    Label(Control* parent, std::string name) : Control(ControlKind::Label, parent, std::move(name)) {}
};

class Edit : public Control {
public:
    Edit(Control* parent, std::string name);

    const std::string& Text() const { return Caption(); }
    // Runs the change handler when the text changes.
    void SetText(const std::string& text);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length) { maxLength_ = length; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Focusable() const override { return true; }

    Handler OnChange;

    // ---- reported by the peers
    // The native box changed its text as the user typed.
    void UserTextChanged(const std::string& text) { SetText(text); }

private:
    int maxLength_ = 0;  // 0: no limit
    bool readOnly_ = false;
};

class Button : public Control {
public:
    Button(Control* parent, std::string name);

    bool Default = false;  // clicked by Enter
    bool Cancel = false;   // clicked by Escape
    int ModalResult = 0;   // handed to the form on a click
    // An optional picture shown left of the caption.
    Bitmap32 Glyph;

    bool Focusable() const override { return true; }
    void Click() override;
};

class RadioButton : public Control {
public:
    RadioButton(Control* parent, std::string name);

    bool Checked() const { return checked_; }
    // Checking an unchecked button unchecks its siblings and runs its click
    // handler; unchecking runs nothing.
    void SetChecked(bool checked);
    bool Focusable() const override { return true; }
    // A user click checks the button.
    void Click() override { SetChecked(true); }

private:
    bool checked_ = false;
};

class TrackBar : public Control {
public:
    TrackBar(Control* parent, std::string name);

    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    int Position() const { return position_; }
    // Kept within the range; runs the change handler when the position changes.
    void SetPosition(int position);
    bool ShowTicks = false;
    bool Focusable() const override { return true; }

    Handler OnChange;

    // ---- reported by the peers
    void UserSetPosition(int position) { SetPosition(position); }

private:
    int min_ = 0, max_ = 10, position_ = 0;
};

// A picture control: shows its picture at natural size from its top-left
// corner, or stretched to its size; a transparent one leaves black unpainted.
class Image : public Control {
public:
    Image(Control* parent, std::string name);

    bool Stretch = false;
    bool Transparent = false;
    // Sizes the control to its picture whenever the picture is set.
    bool AutoSize = false;

    bool HasPicture() const { return !picture_.Empty(); }
    const Bitmap32& Picture() const { return picture_; }
    void SetPicture(Bitmap32 picture);
    void ClearPicture();
    // The drawing surface; the picture is made at the control's size the
    // first time it is used.
    Canvas& GetCanvas();
    Bitmap32& Surface();
    // Shows what was drawn.
    void Repaint() { Notify(Change::Picture); }

private:
    Bitmap32 picture_;
    std::unique_ptr<Canvas> canvas_;
};

// An area drawn by code; its content is wiped by every refresh.
class PaintBox : public Control {
public:
    PaintBox(Control* parent, std::string name);

    Bitmap32& Surface();
    const Bitmap32& Surface() const { return surface_; }
    Canvas& GetCanvas();
    // Repaints the area with what lies behind it (the parent's colour).
    void Refresh();
    void Repaint() { Notify(Change::Picture); }

private:
    Bitmap32 surface_;
    std::unique_ptr<Canvas> canvas_;
};

class Timer {
public:
    Timer(Application& app, std::string name, uint32_t intervalMs, bool enabled);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    const std::string& Name() const { return name_; }
    uint32_t Interval() const { return interval_; }
    // Restarts the period when the timer runs; 0 never fires.
    void SetInterval(uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::function<void(Timer& sender)> OnTimer;

    // A tick taken from the message queue.
    void Fire();

private:
    void Update();

    Application& app_;
    std::string name_;
    uint32_t interval_;
    bool enabled_;
    std::unique_ptr<TimerPeer> peer_;
};

}  // namespace duskpane
