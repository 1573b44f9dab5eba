// A window built from a form description: attributes, controls, handlers,
// showing, closing and modal use.
#pragma once

#include <functional>

#include "ui/control.h"

namespace duskpane {

enum class BorderStyle { None, Dialog };
enum class FormStyle { Normal, StayOnTop };
enum class WindowState { Normal, Maximized };
enum class FormPosition { Designed, ScreenCenter, OwnerCenter };
enum class CloseAction { None, Hide, Free };

// Modal results with the values the Windows API gives them.
enum ModalResult : int { kMrNone = 0, kMrOk = 1, kMrCancel = 2, kMrYes = 6, kMrNo = 7 };

class Button;

class Form : public Control {
public:
    using CloseHandler = std::function<void(Control& sender, CloseAction& action)>;
    using CloseQueryHandler = std::function<void(Control& sender, bool& canClose)>;
    using KeyDownHandler = std::function<void(Control& sender, int& key, unsigned shift)>;

    Form(Application& app, std::string name);
    ~Form() override;

    Application& FormApp() const { return app_; }

    BorderStyle Border = BorderStyle::Dialog;
    FormStyle Style = FormStyle::Normal;
    WindowState State = WindowState::Normal;
    FormPosition Position = FormPosition::Designed;
    bool KeyPreview = false;
    // Black is see-through and lets clicks through (the main window).
    bool ColourKeyBlack() const { return colourKeyBlack_; }
    void SetColourKeyBlack(bool on);
    // Only the close box in the title bar.
    bool CloseBoxOnly = true;
    std::string FontName;
    int FontHeight = 12;

    // Constant alpha of the whole window, effective at once.
    bool AlphaBlend = false;
    uint8_t AlphaBlendValue() const { return alphaBlendValue_; }
    void SetAlphaBlendValue(uint8_t value);

    Control* ActiveControl() const { return activeControl_; }
    bool IsModal() const { return modal_; }
    int ModalResultValue() const { return modalResult_; }
    void SetModalResult(int result);

    void SetVisible(bool visible) override;
    void Show();
    void Hide();
    // Shows the form modally and runs the message loop until it closes.
    int ShowModal();
    // Closes as the close box does; for a modal form it ends the modal loop
    // with the Cancel result.
    void Close();
    // Closes a modal form at once as its Cancel button would, whatever its
    // close query answers; its loop then returns without asking again.
    void EndModalAsCancel();
    // Raises the window to the top of the ordinary windows.
    void BringToTop();
    // The whole window as it shows: its colour with its pictures on it.
    Bitmap32 Render() const;
    // The part of the window from (left, top), width x height, as Render
    // shows it: what a peer repaints when only that part changed.
    Bitmap32 RenderPart(int left, int top, int width, int height) const;
    // Composes the same part a band of rows at a time and hands each band,
    // with the form row it starts at, to draw: a screen-sized repaint then
    // never holds a screen-sized copy. The band is draw's to change.
    void RenderBands(int left, int top, int width, int height,
                     const std::function<void(int bandTop, Bitmap32& band)>& draw) const;

    Handler OnCreate;
    Handler OnShow;
    // The form's size changed (a maximised form following the screen).
    Handler OnResize;
    CloseHandler OnClose;
    CloseQueryHandler OnCloseQuery;
    KeyDownHandler OnKeyDown;
    KeyPressHandler OnFormKeyPress;

    // ---- reported by the peers, as the user acts
    void UserKeyDown(int key, unsigned shift);
    // A character typed into the focused control; false when a handler
    // swallowed it.
    bool UserKeyPress(char32_t& key);
    void UserCloseBox();
    // Focus moved to a control (a click, Tab): the control left runs its exit.
    void UserFocus(Control* control);
    // Tab: the next control in tab order.
    void UserTab(bool backwards);

    // The controls in tab order, depth first.
    std::vector<Control*> TabOrderList() const;
    // The default (Enter) or cancel (Escape) button, when one is showing.
    Button* FindDialogButton(bool isDefault) const;

protected:
    void Resized() override;

private:
    void MakePeers();
    friend class Control;
    void MoveFocus(Control* control);
    bool CloseQuery();

    Application& app_;
    uint8_t alphaBlendValue_ = 255;
    bool colourKeyBlack_ = false;
    Control* activeControl_ = nullptr;
    bool modal_ = false;
    bool modalEnded_ = false;
    int modalResult_ = kMrNone;
};

}  // namespace duskpane
