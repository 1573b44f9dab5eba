// The heap text holder used by the wallpaper's picture lists.
#include "wallpaper/nslist.h"

#include <cstring>

namespace duskpane {

nsString::nsString(const AnsiString& text) {
    if (text.empty()) {
        return;
    }
    text_ = new char[text.size() + 1];
    std::memcpy(text_, text.data(), text.size());
    text_[text.size()] = '\0';
}

nsString::~nsString() {
    delete[] text_;
}

AnsiString nsString::ToString() const {
    if (text_ == nullptr) {
        return AnsiString();
    }
    return AnsiString(text_);
}

}  // namespace duskpane
