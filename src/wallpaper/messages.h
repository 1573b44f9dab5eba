// The wallpaper's message boxes: the error box and the Yes/No confirmation,
// both with an empty caption and a text of at most 511 bytes.
#pragma once

#include <cstddef>
#include <string>

namespace duskpane {

class Application;
class Form;

// The longest text a box shows, in bytes.
constexpr size_t kMessageTextLimit = 511;

// The format with the argument in place of "%s", cut to at most 511 bytes;
// the cut never falls inside a UTF-8 character.
std::string FormatMessageText(const std::string& format, const std::string& argument);

// A modal error box owned by the window, with an OK button and the error icon.
void ShowError(Application& app, Form* owner, const std::string& format,
               const std::string& argument = std::string());

// A modal confirmation owned by the window, with Yes and No buttons and the
// information icon; true only when the answer is Yes.
bool AskYesNo(Application& app, Form* owner, const std::string& format,
              const std::string& argument = std::string());

}  // namespace duskpane
