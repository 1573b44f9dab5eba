// Text at the Windows boundary: UTF-8 inside the program, UTF-16 for the W functions.
#pragma once

#include <string>

namespace duskpane {

// Invalid UTF-8 bytes become U+FFFD; never fails.
std::wstring Widen(const std::string& utf8);
// Unpaired surrogates become U+FFFD; never fails.
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, size_t length);

}  // namespace duskpane
