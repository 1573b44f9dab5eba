// The scripted user's actions, reported through the same entry points the
// native peers use.
#include "platform/headless/headless_user.h"

#include <algorithm>

#include "platform/headless/headless_ui.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace duskpane {
namespace {

// Splits UTF-8 text into its characters' code points.
std::u32string Decode(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra && i + size_t(k) < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + size_t(k)]) & 0x3F);
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

std::string Encode(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
    return out;
}

}  // namespace

void HeadlessUser::Focus(Control& control) {
    if (Form* form = control.ParentForm()) form->UserFocus(&control);
}

void HeadlessUser::Type(Edit& edit, const std::string& text) {
    Form* form = edit.ParentForm();
    if (!form) return;
    if (!edit.Focused()) Focus(edit);
    for (char32_t key : Decode(text)) {
        if (!edit.Focused()) return;
        if (!form->UserKeyPress(key)) continue;
        if (edit.ReadOnly()) continue;
        std::u32string current = Decode(edit.Text());
        if (key == kKeyBackspace) {
            if (current.empty()) continue;
            current.pop_back();
        } else if (key >= 32) {
            if (edit.MaxLength() > 0 && int(current.size()) >= edit.MaxLength()) continue;
            current.push_back(key);
        } else {
            continue;
        }
        std::string updated;
        for (char32_t c : current) updated += Encode(c);
        edit.App().Invoke([&] { edit.UserTextChanged(updated); });
    }
}

void HeadlessUser::Retype(Edit& edit, const std::string& text) {
    if (!edit.Focused()) Focus(edit);
    if (!edit.ReadOnly()) edit.App().Invoke([&] { edit.UserTextChanged(std::string()); });
    Type(edit, text);
}

void HeadlessUser::Leave(Control& control) {
    Form* form = control.ParentForm();
    if (!form) return;
    if (!control.Focused()) Focus(control);
    form->UserTab(false);
}

void HeadlessUser::Click(Control& control) {
    if (!control.Showing() || !control.Enabled()) return;
    if (control.Focusable()) {
        Focus(control);
        if (!control.Focused()) return;
    }
    control.App().Invoke([&] { control.Click(); });
}

void HeadlessUser::Drag(TrackBar& trackBar, int position) {
    if (!trackBar.Showing() || !trackBar.Enabled()) return;
    Focus(trackBar);
    trackBar.App().Invoke([&] { trackBar.UserSetPosition(position); });
}

void HeadlessUser::PressKey(Form& form, int key, unsigned shift) {
    form.UserKeyDown(key, shift);
    if (key != kKeyEscape && key != kKeyEnter && key != kKeyBackspace) return;
    if (!form.Visible()) return;
    char32_t ch = char32_t(key);
    form.UserKeyPress(ch);
}

void HeadlessUser::CloseBox(Form& form) { form.UserCloseBox(); }

void HeadlessUser::RightClick(Control& control, int screenX, int screenY) {
    control.UserContextMenu(screenX, screenY);
}

void HeadlessUser::PickMenu(PopupMenu& menu, const std::string& itemName) {
    MenuItem* item = menu.Find(itemName);
    if (!item) throw HeadlessScriptError("no menu item " + itemName);
    // The item must be reachable through shown items.
    std::vector<MenuItem*> level = menu.ShownItems();
    bool reachable = std::find(level.begin(), level.end(), item) != level.end();
    for (MenuItem* parent : level)
        if (!reachable && !parent->Items().empty()) {
            auto sub = parent->ShownItems();
            reachable = std::find(sub.begin(), sub.end(), item) != sub.end();
        }
    if (!reachable) throw HeadlessScriptError("menu item " + itemName + " is not shown");
    if (!item->Enabled) return;
    ui_.Deliver([item] { item->Click(); });
}

}  // namespace duskpane
