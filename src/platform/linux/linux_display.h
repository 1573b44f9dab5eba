// The X display the program draws on: which Qt platform it asks for, and
// whether the display can be opened at all, decided before Qt starts.
#pragma once

#include <optional>
#include <string>

namespace duskpane {

struct QtPlatformChoice {
    // The value QT_QPA_PLATFORM gets: always Qt's X11 platform, "xcb" (with
    // any options given to it).
    std::string platform;
    // What to tell on standard error about a setting that was overridden;
    // empty when there is nothing to say.
    std::string notice;
};

// The screen layers need X11's stacking order, input shapes and window
// properties, which a Wayland session offers through XWayland: every other
// platform named in QT_QPA_PLATFORM (null when unset) is overridden.
QtPlatformChoice ChooseQtPlatform(const char* requested);

// The one line that says why the X display cannot be used: DISPLAY unset
// (display null) or naming a display that did not open. waylandSession
// tells that WAYLAND_DISPLAY is set, where XWayland is what is missing.
std::string DisplayFailureMessage(const char* display, bool waylandSession);

// Opens and closes the display that DISPLAY names; the message above when
// that fails, nullopt when it can be used.
std::optional<std::string> CheckDisplay();

}  // namespace duskpane
