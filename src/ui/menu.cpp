// Menu items and the separator reduction of a shown menu.
#include "ui/menu.h"

namespace duskpane {

MenuItem::MenuItem(std::string name, std::string caption, int32_t tag)
    : Tag(tag), name_(std::move(name)), caption_(std::move(caption)) {}

MenuItem& MenuItem::Add(std::unique_ptr<MenuItem> item) {
    items_.push_back(std::move(item));
    return *items_.back();
}

std::vector<MenuItem*> MenuItem::ShownItems() const {
    std::vector<MenuItem*> shown;
    for (const auto& item : items_) {
        if (!item->Visible) continue;
        if (item->IsSeparator() && (shown.empty() || shown.back()->IsSeparator())) continue;
        shown.push_back(item.get());
    }
    while (!shown.empty() && shown.back()->IsSeparator()) shown.pop_back();
    return shown;
}

MenuItem* MenuItem::Find(const std::string& name) {
    for (const auto& item : items_) {
        if (item->name_ == name) return item.get();
        if (MenuItem* found = item->Find(name)) return found;
    }
    return nullptr;
}

}  // namespace duskpane
