// The X display the program draws on, chosen and checked before Qt starts:
// Qt's own X11 platform aborts the process on a display it cannot open.
#include "platform/linux/linux_display.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

namespace duskpane {

QtPlatformChoice ChooseQtPlatform(const char* requested) {
    const std::string_view value = requested ? requested : "";
    // "xcb" alone or with its options ("xcb:option=value").
    if (value == "xcb" || value.starts_with("xcb:")) return {std::string(value), {}};
    if (value.empty()) return {"xcb", {}};
    return {"xcb", "duskpane: QT_QPA_PLATFORM=" + std::string(value) +
                       " is not used: Duskpane draws on X11 (through XWayland in a Wayland session)"};
}

std::string DisplayFailureMessage(const char* display, bool waylandSession) {
    if (display && *display) return "duskpane: cannot open the X display \"" + std::string(display) + "\"";
    if (waylandSession)
        return "duskpane: no X display (DISPLAY is not set): in a Wayland session Duskpane needs XWayland";
    return "duskpane: no X display (DISPLAY is not set)";
}

std::optional<std::string> CheckDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool waylandSession = wayland && *wayland;
    if (!display || !*display) return DisplayFailureMessage(display, waylandSession);
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed) return DisplayFailureMessage(display, waylandSession);
    return std::nullopt;
}

}  // namespace duskpane
