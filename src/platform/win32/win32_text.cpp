// UTF-8 and UTF-16 conversion through the system's own converter.
#include "platform/win32/win32_text.h"

#include <windows.h>

namespace duskpane {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring out(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), length);
    return out;
}

std::string Narrow(const wchar_t* utf16, size_t length) {
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), out.data(), size, nullptr, nullptr);
    return out;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

}  // namespace duskpane
