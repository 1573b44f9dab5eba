// The Qt platform the program asks for and the check of the X display that
// comes before Qt starts.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/linux/linux_display.h"

namespace duskpane {
namespace {

TEST(LinuxDisplayTest, EveryRequestedPlatformButXcbIsOverriddenAndSaid) {
    struct Case {
        const char* requested;
        const char* platform;
        bool said;
    };
    for (const Case& c : {Case{nullptr, "xcb", false}, Case{"", "xcb", false}, Case{"xcb", "xcb", false},
                          Case{"xcb:nograb", "xcb:nograb", false}, Case{"wayland", "xcb", true},
                          Case{"wayland;xcb", "xcb", true}, Case{"offscreen", "xcb", true}}) {
        SCOPED_TRACE(c.requested ? c.requested : "(unset)");
        const QtPlatformChoice choice = ChooseQtPlatform(c.requested);
        EXPECT_EQ(choice.platform, c.platform);
        if (c.said) {
            EXPECT_NE(choice.notice.find(std::string("QT_QPA_PLATFORM=") + c.requested), std::string::npos)
                << choice.notice;
            EXPECT_EQ(choice.notice.find('\n'), std::string::npos) << "one line";
        } else {
            EXPECT_TRUE(choice.notice.empty()) << choice.notice;
        }
    }
}

TEST(LinuxDisplayTest, ADisplayThatCannotBeUsedIsNamedOnOneLine) {
    EXPECT_EQ(DisplayFailureMessage(":99", false), "duskpane: cannot open the X display \":99\"");
    EXPECT_EQ(DisplayFailureMessage(nullptr, false), "duskpane: no X display (DISPLAY is not set)");
    EXPECT_EQ(DisplayFailureMessage("", false), DisplayFailureMessage(nullptr, false));
    EXPECT_NE(DisplayFailureMessage(nullptr, true).find("XWayland"), std::string::npos);

    // The real check, on a display that is not there and on none at all.
    const char* saved = getenv("DISPLAY");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("DISPLAY", ":65000", 1);
    EXPECT_EQ(CheckDisplay(), DisplayFailureMessage(":65000", getenv("WAYLAND_DISPLAY") != nullptr));
    unsetenv("DISPLAY");
    ASSERT_TRUE(CheckDisplay().has_value());
    EXPECT_NE(CheckDisplay()->find("DISPLAY is not set"), std::string::npos);
    if (previous) setenv("DISPLAY", previous->c_str(), 1);
}

}  // namespace
}  // namespace duskpane
