// A scripted user for the headless backend: types, leaves boxes, clicks,
// drags, presses keys and picks menu items the way a person does.
#pragma once

#include <string>

namespace duskpane {

class Control;
class Edit;
class Form;
class HeadlessUi;
class PopupMenu;
class TrackBar;

class HeadlessUser {
public:
    explicit HeadlessUser(HeadlessUi& ui) : ui_(ui) {}

    // Focuses the box and types the characters one by one, each through the
    // key handlers; "\b" is Backspace.
    void Type(Edit& edit, const std::string& text);
    // Selects all the text of the box and types over it.
    void Retype(Edit& edit, const std::string& text);
    // Moves the focus to the control (a click or Tab onto it).
    void Focus(Control& control);
    // Leaves the focused control with Tab.
    void Leave(Control& control);
    // Clicks the control; a button is clicked only when it got the focus.
    void Click(Control& control);
    void Drag(TrackBar& trackBar, int position);
    // A key going down and, for the keys that type a character, its character.
    void PressKey(Form& form, int key, unsigned shift = 0);
    void CloseBox(Form& form);
    void RightClick(Control& control, int screenX = 100, int screenY = 100);
    // Picks a shown item of an open menu (a submenu's item through its parent).
    void PickMenu(PopupMenu& menu, const std::string& itemName);

private:
    HeadlessUi& ui_;
};

}  // namespace duskpane
