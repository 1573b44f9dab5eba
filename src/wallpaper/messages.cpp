// The wallpaper's error and confirmation boxes.
#include "wallpaper/messages.h"

#include "platform/ui_seam.h"
#include "ui/application.h"
#include "util/errors.h"

namespace duskpane {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string FormatMessageText(const std::string& format, const std::string& argument) {
    std::string text = FormatMessage1(format, argument);
    if (text.size() <= kMessageTextLimit) return text;
    // Cutting inside a character would leave a broken byte sequence at the
    // end of the box, so the cut moves back to the start of that character
    // (at most three bytes back; text that is not UTF-8 is cut where it is).
    size_t cut = kMessageTextLimit;
    while (cut > kMessageTextLimit - 3 && IsContinuationByte(text[cut])) --cut;
    if (IsContinuationByte(text[cut])) cut = kMessageTextLimit;
    text.resize(cut);
    return text;
}

void ShowError(Application& app, Form* owner, const std::string& format, const std::string& argument) {
    app.MessageBox(owner, FormatMessageText(format, argument), "", kMbOk | kMbIconError);
}

bool AskYesNo(Application& app, Form* owner, const std::string& format, const std::string& argument) {
    return app.MessageBox(owner, FormatMessageText(format, argument), "", kMbYesNo | kMbIconInformation) ==
           kIdYes;
}

}  // namespace duskpane
