// The right-click menu: items with captions, tags, check marks, hidden items
// and submenus; separators reduced as a shown menu has them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace duskpane {

class Application;

class MenuItem {
public:
    MenuItem(std::string name, std::string caption, int32_t tag = 0);
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Caption() const { return caption_; }
    bool IsSeparator() const { return caption_ == "-"; }
    int32_t Tag;
    bool Visible = true;
    bool Checked = false;
    bool Enabled = true;

    std::function<void(MenuItem& sender)> OnClick;

    MenuItem& Add(std::unique_ptr<MenuItem> item);
    const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }
    // The items as a shown menu lists them: hidden ones left out, no
    // separator first or last, never two in a row.
    std::vector<MenuItem*> ShownItems() const;
    MenuItem* Find(const std::string& name);

    void Click() {
        if (OnClick) OnClick(*this);
    }

private:
    std::string name_;
    std::string caption_;
    std::vector<std::unique_ptr<MenuItem>> items_;
};

class PopupMenu : public MenuItem {
public:
    explicit PopupMenu(std::string name) : MenuItem(std::move(name), std::string()) {}
    std::function<void(PopupMenu& sender)> OnPopup;
};

}  // namespace duskpane
